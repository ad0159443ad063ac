// The Linux binary on the real kernel. Every case runs in a fresh PID
// namespace with its own /proc, so the tool can only reach the processes
// that the case starts there.
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "namespace_run.h"

namespace {

const char kUsage[] =
    "Argument 1-n: Processor IDs, #( 0 - 31 supported)\n\nExample: Corepen 0 1\n\n";

std::string Warning(int number) {
  return "Processor ID: " + std::to_string(number) + " is not valid, and will be ignored.\n";
}

// The mask the namespace's processes start with: the test's own.
unsigned long long InitialMask() {
  cpu_set_t set;
  EXPECT_EQ(0, sched_getaffinity(0, sizeof set, &set));
  unsigned long long mask = 0;
  for (int cpu = 0; cpu < 64; cpu++)
    if (CPU_ISSET(cpu, &set)) mask |= 1ull << cpu;
  return mask;
}

// A processor this machine has, other than processor 0.
int SecondProcessor() {
  unsigned long long online = OnlineMask();
  for (int cpu = 1; cpu < 32; cpu++)
    if (online >> cpu & 1) return cpu;
  ADD_FAILURE() << "these cases need a machine with two processors";
  return 0;
}

// A processor number from 0 to 31 that this machine lacks.
int AbsentProcessor() {
  unsigned long long online = OnlineMask();
  for (int cpu = 31; cpu >= 0; cpu--)
    if (!(online >> cpu & 1)) return cpu;
  ADD_FAILURE() << "this case needs a machine with fewer than 32 processors";
  return 0;
}

TEST(Corepen, ConfinesEveryThreadOfEveryProcess) {
  int cpu = SecondProcessor();
  NamespaceRun run = RunInNamespace(
      "$HELPER spawn 8 >/dev/null && $HELPER spawn 16 >/dev/null && "
      "$HELPER spawn 1 >/dev/null && $COREPEN " + std::to_string(cpu));
  EXPECT_EQ(0, run.status);
  EXPECT_EQ("", run.printed);
  ASSERT_GE(run.threads.size(), 26u);
  bool saw_first = false;
  for (const Thread& thread : run.threads) {
    EXPECT_EQ(1ull << cpu, thread.mask) << "pid " << thread.pid << " tid " << thread.tid;
    saw_first |= thread.pid == 1;
  }
  EXPECT_TRUE(saw_first) << "the namespace's first process is confined too";
}

TEST(Corepen, AcceptsProcessorsOutsideItsOwnAffinity) {
  int cpu = SecondProcessor();
  NamespaceRun run = RunInNamespace("$HELPER spawn 4 >/dev/null && "
                                    "$HELPER pin 0 $COREPEN " + std::to_string(cpu));
  EXPECT_EQ(0, run.status);
  EXPECT_EQ("", run.printed);
  for (const Thread& thread : run.threads) EXPECT_EQ(1ull << cpu, thread.mask);
}

TEST(Corepen, PrintsUsageWithoutWordsAndChangesNothing) {
  NamespaceRun run = RunInNamespace("$HELPER spawn 4 >/dev/null && $COREPEN");
  EXPECT_EQ(1, run.status);
  EXPECT_EQ(kUsage, run.printed);
  for (const Thread& thread : run.threads) EXPECT_EQ(InitialMask(), thread.mask);
}

TEST(Corepen, WarnsOfAbsentProcessorsInWordOrder) {
  int cpu = SecondProcessor();
  int absent = AbsentProcessor();
  NamespaceRun run = RunInNamespace(
      "$HELPER spawn 3 >/dev/null && $COREPEN " + std::to_string(absent) + " x " +
      std::to_string(cpu + 32) + " " + std::to_string(absent - 32) + " ' +" +
      std::to_string(cpu) + "'");
  EXPECT_EQ(0, run.status);
  EXPECT_EQ(Warning(absent) + Warning(absent - 32), run.printed);
  for (const Thread& thread : run.threads) EXPECT_EQ(1ull | 1ull << cpu, thread.mask);
}

TEST(Corepen, ChangesNothingWhenEveryNumberIsRejected) {
  int absent = AbsentProcessor();
  NamespaceRun run = RunInNamespace("$HELPER spawn 5 >/dev/null && $COREPEN " +
                                    std::to_string(absent));
  EXPECT_EQ(0, run.status);
  EXPECT_EQ(Warning(absent), run.printed);
  for (const Thread& thread : run.threads) EXPECT_EQ(InitialMask(), thread.mask);
}

TEST(Corepen, AsAnOrdinaryUserChangesOnlyThatUsersProcesses) {
  int cpu = SecondProcessor();
  NamespaceRun run = RunInNamespace(
      "$HELPER spawn 4 >/dev/null && $HELPER as 65534 $HELPER spawn 4 >/dev/null && "
      "$HELPER as 65534 $COREPEN " + std::to_string(cpu));
  EXPECT_EQ(0, run.status);
  EXPECT_EQ("", run.printed);
  int users = 0, roots = 0;
  for (const Thread& thread : run.threads) {
    if (thread.uid == 65534) {
      users++;
      EXPECT_EQ(1ull << cpu, thread.mask) << "pid " << thread.pid;
    } else {
      roots++;
      EXPECT_EQ(InitialMask(), thread.mask) << "pid " << thread.pid;
    }
  }
  EXPECT_EQ(4, users);
  EXPECT_GE(roots, 5);
}

}  // namespace

// A moving machine: threads and processes that come and go while the tool
// works, and hostile command lines.
namespace {

std::string Hex(unsigned long long mask) {
  char text[32];
  std::snprintf(text, sizeof text, "%llx", mask);
  return text;
}

// Runs the tool `runs` times each way between processor 0 and another,
// checking after every run that no thread in the namespace is left behind;
// the output is the tool's and the stragglers'.
std::string Alternately(int runs) {
  int cpu = SecondProcessor();
  return "i=0; while [ $i -lt " + std::to_string(runs) + " ]; do "
         "$COREPEN 0 && $HELPER check 1 || echo run $i; "
         "$COREPEN " + std::to_string(cpu) + " && $HELPER check " + Hex(1ull << cpu) +
         " || echo run $i; i=$((i+1)); done";
}

TEST(CorepenOnAMovingMachine, LeavesNoThreadOfAChainOrASpawnerBehind) {
  // A busy processor beside them, so that threads being made get preempted.
  NamespaceRun run = RunInNamespace(
      "(while :; do :; done) & "
      "$HELPER spawn 3 chain >/dev/null && $HELPER spawn 2 chain >/dev/null && "
      "$HELPER spawn 4 spawner >/dev/null && $HELPER spawn 6 >/dev/null && " +
      Alternately(25));
  EXPECT_EQ(0, run.status);
  EXPECT_EQ("", run.printed);
}

TEST(CorepenOnAMovingMachine, GoesOnPastProcessesThatEndOrForkDuringThePass) {
  NamespaceRun run = RunInNamespace(
      "$HELPER spawn 3 >/dev/null && $HELPER forker >/dev/null && "
      "$HELPER spawn 2 chain >/dev/null && "
      "j=0; while [ $j -lt 6 ]; do "
      "  pids=$(i=0; while [ $i -lt 60 ]; do $HELPER spawn 2; i=$((i+1)); done); "
      "  for k in 1 2 3 4 5 6 7 8 9; do sleep 0.00$k & done; "
      "  (kill -9 $pids) & "
      "  $COREPEN 0 && $HELPER check 1 || echo pass $j; "
      "  wait; j=$((j+1)); "
      "done >/dev/null; " + Alternately(5));
  EXPECT_EQ(0, run.status);
  EXPECT_EQ("", run.printed);
}

TEST(CorepenOnAMovingMachine, ChangesNothingWithoutProc) {
  NamespaceRun run = RunInNamespace(
      "$HELPER spawn 4 >/dev/null && "
      "unshare --mount /bin/sh -c 'mount -t tmpfs hidden /proc && exec \"$0\" 1' $COREPEN");
  EXPECT_EQ(0, run.status);
  EXPECT_EQ("", run.printed);
  for (const Thread& thread : run.threads) EXPECT_EQ(InitialMask(), thread.mask);
}

// The warning for a word, by the conversion rules, or "" if it is accepted.
std::string ExpectedFor(const std::string& word, unsigned long long online) {
  uint32_t value = 0;
  for (char digit : word) value = value * 10 + static_cast<uint32_t>(digit - '0');
  int32_t number = static_cast<int32_t>(value);
  return online >> (value & 31) & 1 ? "" : Warning(number);
}

TEST(CorepenOnAMovingMachine, TakesHugeCommandLines) {
  unsigned long long online = OnlineMask();
  int absent = AbsentProcessor();
  std::string expected;
  for (int i = 0; i < 100000; i++)
    if (i % 3 == 2) expected += Warning(absent);
  NamespaceRun many = RunInNamespace(
      "$HELPER spawn 2 >/dev/null && $COREPEN $(awk 'BEGIN { for (i = 0; i < 100000; i++) "
      "print (i % 3 == 0 ? \"0\" : i % 3 == 1 ? \"1\" : \"" + std::to_string(absent) + "\") }')");
  EXPECT_EQ(0, many.status);
  EXPECT_TRUE(expected == many.printed) << "warnings differ; got " << many.printed.size()
                                        << " bytes, want " << expected.size();
  for (const Thread& thread : many.threads) EXPECT_EQ(online & 3, thread.mask);

  // The longest word Linux passes: 128 KiB with its terminating zero.
  const size_t longest = 128 * 1024 - 1;
  std::string sevens(longest, '7');
  std::string zeros_then_absent = std::string(longest - 2, '0') + std::to_string(absent + 32);
  NamespaceRun longest_run = RunInNamespace(
      "$HELPER spawn 2 >/dev/null && $COREPEN $(head -c " + std::to_string(longest) +
      " /dev/zero | tr '\\0' 7) $(printf '%0" + std::to_string(longest) + "d' " +
      std::to_string(absent + 32) + ")");
  EXPECT_EQ(0, longest_run.status);
  EXPECT_EQ(ExpectedFor(sevens, online) + ExpectedFor(zeros_then_absent, online),
            longest_run.printed);
}

}  // namespace
