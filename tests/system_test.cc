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
