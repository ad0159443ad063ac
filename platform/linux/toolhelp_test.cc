#include <sys/mount.h>

#include <set>

#include <gtest/gtest.h>

#include "corepen.h"
#include "linux_testing.h"
#include "winapi.h"

namespace {

std::multimap<DWORD, DWORD> Snapshot() {
  std::multimap<DWORD, DWORD> owners;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  EXPECT_NE(INVALID_HANDLE_VALUE, snapshot);
  THREADENTRY32 entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more;
       entry.dwSize = sizeof entry, more = Thread32Next(snapshot, &entry)) {
    EXPECT_EQ(sizeof entry, entry.dwSize);
    owners.emplace(entry.th32OwnerProcessID, entry.th32ThreadID);
  }
  EXPECT_TRUE(CloseHandle(snapshot));
  return owners;
}

TEST(CreateToolhelp32Snapshot, ListsEveryThreadWithItsProcess) {
  pid_t pid = Spawn("7");
  auto owners = Snapshot();
  std::set<DWORD> threads;
  for (const auto& [owner, thread] : owners) threads.insert(thread);
  EXPECT_EQ(owners.size(), threads.size()) << "a thread listed twice";
  EXPECT_EQ(7u, owners.count(pid));
  EXPECT_EQ(ThreadMasks(getpid()).size(), owners.count(getpid()));
  KillAndReap(pid);
}

TEST(CreateToolhelp32Snapshot, RefusesWithoutProcAndTakesOnlyThreads) {
  EXPECT_EQ(INVALID_HANDLE_VALUE, CreateToolhelp32Snapshot(0x2, 0));
  EXPECT_EQ(0, InChild([] {
              if (unshare(CLONE_NEWNS) != 0 ||
                  mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                  mount("hidden", "/proc", "tmpfs", 0, nullptr) != 0)
                return 2;
              return CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0) == INVALID_HANDLE_VALUE
                         ? 0 : 1;
            }));
}

TEST(Thread32First, WantsTheWholeRecordAndStartsOver) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry;
  entry.dwSize = sizeof entry - 1;
  EXPECT_FALSE(Thread32First(snapshot, &entry));
  entry.dwSize = sizeof entry;
  ASSERT_TRUE(Thread32First(snapshot, &entry));
  DWORD first = entry.th32ThreadID;
  while (Thread32Next(snapshot, &entry)) entry.dwSize = sizeof entry;
  ASSERT_TRUE(Thread32First(snapshot, &entry));
  EXPECT_EQ(first, entry.th32ThreadID);
  CloseHandle(snapshot);
  EXPECT_FALSE(Thread32Next(nullptr, &entry));
}

int OpenDescriptors() {
  int count = 0;
  DIR* fds = opendir("/proc/self/fd");
  while (readdir(fds)) count++;
  closedir(fds);
  return count;
}

TEST(ApplyAffinityToAllProcesses, LeavesNoDescriptorOpen) {
  pid_t one = Spawn("5"), other = Spawn("9 chain");
  int before = OpenDescriptors();
  ApplyAffinityToAllProcesses(2);
  ApplyAffinityToAllProcesses(1);
  EXPECT_EQ(before, OpenDescriptors());
  for (pid_t pid : {one, other, getpid()})
    for (const auto& [tid, mask] : ThreadMasks(pid)) EXPECT_EQ(1u, mask) << tid;
  KillAndReap(one);
  KillAndReap(other);
}

}  // namespace
