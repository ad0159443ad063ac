#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "corepen.h"
#include "fake_platform.h"
#include "testing.h"

namespace {

using Calls = std::vector<std::string>;

const char kSnapshot[] = "CreateToolhelp32Snapshot(4, 0)";
const char kFirst[] = "Thread32First(snapshot, 28)";
const char kNext[] = "Thread32Next(snapshot, 28)";
const char kClose[] = "CloseHandle(snapshot)";

// What the pass asks for one thread entry owned by a process it can open.
Calls Visit(int pid, const char* mask) {
  std::string process = "process " + std::to_string(pid);
  return {"OpenProcess(0x2000000, 0, " + std::to_string(pid) + ")",
          "SetProcessAffinityMask(" + process + ", " + mask + ")",
          "CloseHandle(" + process + ")"};
}

Calls Join(std::initializer_list<Calls> parts) {
  Calls all;
  for (const Calls& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Calls Apply(const fake::Machine& machine, AffinityMask mask) {
  fake::Install(machine);
  EXPECT_EQ("", Printed([&] { ApplyAffinityToAllProcesses(mask); }));
  EXPECT_EQ(0, fake::OpenHandles()) << "a handle was left open";
  return fake::Calls();
}

TEST(ApplyAffinityToAllProcesses, SetsTheOwnerOfEveryThreadEntryOnce) {
  fake::Machine machine;
  machine.threads = {{10}, {10}, {20}};
  EXPECT_EQ(Join({{kSnapshot, kFirst}, Visit(10, "0x3"), {kNext}, Visit(10, "0x3"),
                  {kNext}, Visit(20, "0x3"), {kNext, kClose}}),
            Apply(machine, 0x3));
}

TEST(ApplyAffinityToAllProcesses, PassesTheMaskUnchangedEvenWhenEmptyOrHigh) {
  fake::Machine machine;
  machine.threads = {{7}};
  EXPECT_EQ(Join({{kSnapshot, kFirst}, Visit(7, "0"), {kNext, kClose}}),
            Apply(machine, 0));
  EXPECT_EQ(Join({{kSnapshot, kFirst}, Visit(7, "0x80000000"), {kNext, kClose}}),
            Apply(machine, 0x80000000u));
}

TEST(ApplyAffinityToAllProcesses, SkipsEntriesTooShortToNameTheirOwner) {
  fake::Machine machine;
  machine.threads = {{1, 15}, {2, 16}, {3, 0}, {4, 28}, {5, 12}};
  EXPECT_EQ(Join({{kSnapshot, kFirst, kNext}, Visit(2, "0x1"), {kNext, kNext},
                  Visit(4, "0x1"), {kNext, kNext, kClose}}),
            Apply(machine, 0x1));
}

TEST(ApplyAffinityToAllProcesses, PassesOverProcessesThatCannotBeOpened) {
  fake::Machine machine;
  machine.threads = {{5}, {6}};
  machine.unopenable = {5};
  EXPECT_EQ(Join({{kSnapshot, kFirst, "OpenProcess(0x2000000, 0, 5)", kNext},
                  Visit(6, "0x1"), {kNext, kClose}}),
            Apply(machine, 0x1));
}

TEST(ApplyAffinityToAllProcesses, ClosesAnEmptySnapshot) {
  fake::Machine machine;
  EXPECT_EQ(Calls({kSnapshot, kFirst, kClose}), Apply(machine, 0x1));
}

TEST(ApplyAffinityToAllProcesses, StopsAtARefusedSnapshotWithoutClosingIt) {
  fake::Machine machine;
  machine.snapshot_refused = true;
  machine.threads = {{1}};
  EXPECT_EQ(Calls({kSnapshot}), Apply(machine, 0x1));
}

}  // namespace
