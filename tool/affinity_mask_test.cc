#include <climits>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "corepen.h"
#include "fake_platform.h"
#include "testing.h"

using testing::ElementsAre;

namespace {

TEST(ParseProcessorNumber, FollowsTheCommandLineRules) {
  struct Case {
    const char* word;
    int32_t number;
  } cases[] = {
      {"0", 0},
      {"7", 7},
      {"31", 31},
      {"32", 32},
      {"007", 7},
      {"-1", -1},
      {"+2", 2},
      {"2x", 2},
      {"1e3", 1},
      {"0x10", 0},
      {"  2", 2},
      {" \t\n\v\f\r9", 9},
      {" +5 6", 5},
      {"abc", 0},
      {"", 0},
      {"-", 0},
      {"+-3", 0},
      {"--3", 0},
      {"- 3", 0},
      {"\xa0" "5", 0},
      {"2147483647", INT32_MAX},
      {"2147483648", INT32_MIN},
      {"-2147483648", INT32_MIN},
      {"4294967295", -1},
      {"4294967298", 2},
      {"-4294967298", -2},
      {"99999999999999999999", 1661992959},
      {"00000000000000000000000000000000000000000000000000000031", 31},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.number, ParseProcessorNumber(c.word)) << "word \"" << c.word << '"';
}

std::string Warning(const char* number) {
  return std::string("Processor ID: ") + number +
         " is not valid, and will be ignored.\n";
}

TEST(BuildAffinityMask, KeepsTheProcessorsTheMachineHasAndWarnsOfTheRest) {
  struct Case {
    std::vector<std::string> words;
    DWORD_PTR system_mask;
    AffinityMask mask;
    std::string printed;
  } cases[] = {
      {{"0", "1"}, 0xF, 0x3, ""},
      {{"0", "5"}, 0x3, 0x1, Warning("5")},
      {{"1", "1", "1"}, 0xF, 0x2, ""},
      {{"abc"}, 0x1, 0x1, ""},
      {{""}, 0x1, 0x1, ""},
      {{"+2", "2x", "  2"}, 0x4, 0x4, ""},
      {{"32", "33"}, 0x1, 0x1, Warning("33")},
      {{"33"}, 0x1, 0x0, Warning("33")},
      {{"-1"}, 0xF, 0x0, Warning("-1")},
      {{"-1"}, 0x80000000, 0x80000000, ""},
      {{"31", "0"}, 0xFFFFFFFF, 0x80000001, ""},
      {{"4294967298"}, 0x4, 0x4, ""},
      {{"7", "0", "9", "-3"}, 0x1, 0x1, Warning("7") + Warning("9") + Warning("-3")},
      {{"2", "1", "0"}, 0x0, 0x0, Warning("2") + Warning("1") + Warning("0")},
      // Where the mask type is 64 bits, its upper half takes no part.
      {{"32", "33"}, static_cast<DWORD_PTR>(0xFFFFFFFF00000001ull), 0x1,
       Warning("33")},
  };
  for (const Case& c : cases) {
    fake::Machine machine;
    machine.system_mask = c.system_mask;
    fake::Install(machine);
    CommandLine line(c.words);
    AffinityMask mask = 0xDEAD;
    std::string printed = Printed([&] { mask = BuildAffinityMask(line.argc(), line.argv()); });
    std::string words = testing::PrintToString(c.words);
    EXPECT_EQ(c.mask, mask) << words;
    EXPECT_EQ(c.printed, printed) << words;
    EXPECT_THAT(fake::Calls(), ElementsAre("GetCurrentProcess()",
                                           "GetProcessAffinityMask(self, 0, 0)"))
        << words;
  }
}

TEST(BuildAffinityMask, RejectsEveryNumberWhenTheSystemMaskCannotBeRead) {
  fake::Machine machine;
  machine.affinity_query_succeeds = FALSE;
  fake::Install(machine);
  CommandLine line({"0", "1"});
  AffinityMask mask = 0xDEAD;
  EXPECT_EQ(Warning("0") + Warning("1"),
            Printed([&] { mask = BuildAffinityMask(line.argc(), line.argv()); }));
  EXPECT_EQ(0u, mask);
}

}  // namespace
