#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "corepen.h"
#include "fake_platform.h"
#include "testing.h"

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

const char kUsage[] =
    "Argument 1-n: Processor IDs, #( 0 - 31 supported)\n\nExample: Corepen 0 1\n\n";
const char kNeedsNt[] = "WinNT/2000/XP REQUIRED!\n";

struct Outcome {
  int status;
  std::string printed;
};

Outcome RunWith(const fake::Machine& machine, std::vector<std::string> words) {
  fake::Install(machine);
  CommandLine line(std::move(words));
  Outcome outcome{-1, ""};
  outcome.printed = Printed([&] { outcome.status = RunCorepen(line.argc(), line.argv()); });
  EXPECT_EQ(0, fake::OpenHandles()) << "a handle was left open";
  return outcome;
}

TEST(RunCorepen, WithoutWordsPrintsUsageBeforeAskingTheMachineAnything) {
  for (DWORD platform : {VER_PLATFORM_WIN32_NT, VER_PLATFORM_WIN32_WINDOWS}) {
    fake::Machine machine;
    machine.platform_id = platform;
    Outcome outcome = RunWith(machine, {});
    EXPECT_EQ(1, outcome.status);
    EXPECT_EQ(kUsage, outcome.printed);
    EXPECT_THAT(fake::Calls(), IsEmpty());
  }

  char* no_words[] = {nullptr};
  fake::Install(fake::Machine());
  int status = -1;
  EXPECT_EQ(kUsage, Printed([&] { status = RunCorepen(0, no_words); }));
  EXPECT_EQ(1, status);
  EXPECT_THAT(fake::Calls(), IsEmpty());
}

TEST(RunCorepen, RefusesThe9xFamilyWithNothingElsePrinted) {
  fake::Machine machine;
  machine.platform_id = VER_PLATFORM_WIN32_WINDOWS;
  machine.system_mask = 0x1;
  Outcome outcome = RunWith(machine, {"0", "7"});
  EXPECT_EQ(1, outcome.status);
  EXPECT_EQ(kNeedsNt, outcome.printed);
  EXPECT_THAT(fake::Calls(), ElementsAre("GetVersionExA(148)"));
}

TEST(RunCorepen, ConfinesTheMachineSilently) {
  fake::Machine machine;
  machine.threads = {{4}};
  Outcome outcome = RunWith(machine, {"0", "1"});
  EXPECT_EQ(0, outcome.status);
  EXPECT_EQ("", outcome.printed);
  EXPECT_THAT(fake::Calls(),
              ElementsAre("GetVersionExA(148)", "GetCurrentProcess()",
                          "GetProcessAffinityMask(self, 0, 0)",
                          "CreateToolhelp32Snapshot(4, 0)", "Thread32First(snapshot, 28)",
                          "OpenProcess(0x2000000, 0, 4)",
                          "SetProcessAffinityMask(process 4, 0x3)",
                          "CloseHandle(process 4)", "Thread32Next(snapshot, 28)",
                          "CloseHandle(snapshot)"));
}

TEST(RunCorepen, GoesOnAsNtOnAnyOtherPlatformAnswer) {
  struct Case {
    BOOL succeeds;
    DWORD platform;
  } cases[] = {{FALSE, VER_PLATFORM_WIN32_WINDOWS},
               {TRUE, VER_PLATFORM_WIN32s},
               {TRUE, VER_PLATFORM_WIN32_NT},
               {TRUE, 3}};
  for (const Case& c : cases) {
    fake::Machine machine;
    machine.version_succeeds = c.succeeds;
    machine.platform_id = c.platform;
    machine.threads = {{9}};
    Outcome outcome = RunWith(machine, {"1"});
    EXPECT_EQ(0, outcome.status) << c.succeeds << " " << c.platform;
    EXPECT_EQ("", outcome.printed);
    EXPECT_THAT(fake::Calls(), testing::Contains("SetProcessAffinityMask(process 9, 0x2)"));
  }
}

TEST(RunCorepen, AppliesAnEmptyMaskWhenEveryNumberIsRejected) {
  fake::Machine machine;
  machine.system_mask = 0x1;
  machine.threads = {{3}};
  Outcome outcome = RunWith(machine, {"4", "-1"});
  EXPECT_EQ(0, outcome.status);
  EXPECT_EQ("Processor ID: 4 is not valid, and will be ignored.\n"
            "Processor ID: -1 is not valid, and will be ignored.\n",
            outcome.printed);
  EXPECT_THAT(fake::Calls(), testing::Contains("SetProcessAffinityMask(process 3, 0)"));
}

TEST(RunCorepen, HasWrittenEveryWarningOutBeforeThePassBegins) {
  fake::Machine machine;
  machine.system_mask = 0x1;
  long written_at_snapshot = -1;
  machine.on_snapshot = [&] {
    struct stat out;
    if (fstat(1, &out) == 0) written_at_snapshot = static_cast<long>(out.st_size);
  };
  Outcome outcome = RunWith(machine, {"5", "6"});
  ASSERT_EQ("Processor ID: 5 is not valid, and will be ignored.\n"
            "Processor ID: 6 is not valid, and will be ignored.\n",
            outcome.printed);
  // Line ends may take two bytes in the file the stream writes to.
  EXPECT_GE(written_at_snapshot, static_cast<long>(outcome.printed.size()));
}

}  // namespace
