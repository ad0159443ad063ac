#include <sys/mount.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "linux_testing.h"
#include "winapi.h"

namespace {

const unsigned long long kProcessor0 = 1, kProcessor1 = 2;

void ExpectAllOn(pid_t pid, unsigned long long mask) {
  auto masks = ThreadMasks(pid);
  ASSERT_FALSE(masks.empty());
  for (const auto& [tid, on] : masks) EXPECT_EQ(mask, on) << "thread " << tid;
}

TEST(GetProcessAffinityMask, GivesEveryProcessorOnlineWhateverTheCallersOwn) {
  cpu_set_t own;
  ASSERT_EQ(0, sched_getaffinity(0, sizeof own, &own));
  cpu_set_t only_first = CpuSet(kProcessor0);
  ASSERT_EQ(0, sched_setaffinity(0, sizeof only_first, &only_first));
  DWORD_PTR process_mask = 0, system_mask = 0;
  EXPECT_TRUE(GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask));
  sched_setaffinity(0, sizeof own, &own);
  EXPECT_EQ(kProcessor0, process_mask);
  EXPECT_EQ(OnlineMask(), system_mask);
  EXPECT_NE(0u, system_mask & kProcessor1) << "these tests need two processors";
}

TEST(SetProcessAffinityMask, PutsEveryThreadOnTheMaskAndKeepsCatchingNewOnes) {
  for (const char* shape : {"12", "3 chain", "2 spawner"}) {
    pid_t pid = Spawn(shape);
    HANDLE process = OpenProcess(MAXIMUM_ALLOWED, FALSE, pid);
    ASSERT_NE(nullptr, process);
    EXPECT_TRUE(SetProcessAffinityMask(process, kProcessor1)) << shape;
    ExpectAllOn(pid, kProcessor1);
    // Outside a walk a repeated set is done again, not remembered.
    cpu_set_t first = CpuSet(kProcessor0);
    ASSERT_EQ(0, sched_setaffinity(pid, sizeof first, &first));
    EXPECT_TRUE(SetProcessAffinityMask(process, kProcessor1));
    ExpectAllOn(pid, kProcessor1);
    EXPECT_TRUE(CloseHandle(process));
    KillAndReap(pid);
  }
}

TEST(SetProcessAffinityMask, RefusesAnEmptyMaskAndChangesNothing) {
  pid_t pid = Spawn("4");
  HANDLE process = OpenProcess(MAXIMUM_ALLOWED, FALSE, pid);
  unsigned long long before = MaskOfThread(pid);
  EXPECT_FALSE(SetProcessAffinityMask(process, 0));
  ExpectAllOn(pid, before);
  CloseHandle(process);
  KillAndReap(pid);
}

TEST(SetProcessAffinityMask, FailsWhereTheCallerHasNoRight) {
  pid_t pid = Spawn("3");
  unsigned long long before = MaskOfThread(pid);
  EXPECT_EQ(0, InChild([pid] {
              if (setgid(65534) != 0 || setuid(65534) != 0) return 2;
              HANDLE process = OpenProcess(MAXIMUM_ALLOWED, FALSE, pid);
              BOOL set = process && SetProcessAffinityMask(process, kProcessor1);
              return process && CloseHandle(process) && !set ? 0 : 1;
            }));
  ExpectAllOn(pid, before);
  KillAndReap(pid);
}

TEST(OpenProcess, KeepsNamingTheProcessItWasOpenedFor) {
  pid_t pid = Spawn("2");
  HANDLE process = OpenProcess(MAXIMUM_ALLOWED, FALSE, pid);
  ASSERT_NE(nullptr, process);
  KillAndReap(pid);
  EXPECT_FALSE(SetProcessAffinityMask(process, kProcessor1));
  DWORD_PTR process_mask = 0, system_mask = 0;
  EXPECT_FALSE(GetProcessAffinityMask(process, &process_mask, &system_mask));
  EXPECT_TRUE(CloseHandle(process));
  EXPECT_EQ(nullptr, OpenProcess(MAXIMUM_ALLOWED, FALSE, pid));
  EXPECT_EQ(nullptr, OpenProcess(MAXIMUM_ALLOWED, FALSE, 0));
}

TEST(CloseHandle, TakesTheOwnProcessAsANoOpAndRefusesNull) {
  EXPECT_TRUE(CloseHandle(GetCurrentProcess()));
  EXPECT_FALSE(CloseHandle(nullptr));
}

TEST(GetVersionExA, AnswersAsTheNtFamilyWithTheKernelsVersion) {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  ASSERT_TRUE(GetVersionExA(&version));
  EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_NT), version.dwPlatformId);
  std::string release = ReadFile("/proc/sys/kernel/osrelease");
  EXPECT_EQ(0u, release.find(std::to_string(version.dwMajorVersion) + "." +
                             std::to_string(version.dwMinorVersion) + "."))
      << release;
  version.dwOSVersionInfoSize = 156;
  EXPECT_FALSE(GetVersionExA(&version));
}

}  // namespace
