// Processes for the Linux layer's tests to work on, and where their threads
// may run. The tests run as the first process of their own PID namespace,
// so every process they see is theirs.
#ifndef COREPEN_PLATFORM_LINUX_LINUX_TESTING_H
#define COREPEN_PLATFORM_LINUX_LINUX_TESTING_H

#include <dirent.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <map>
#include <string>

#include <gtest/gtest.h>

inline std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// The processors online, as the kernel lists them ("0-3,6").
inline unsigned long long OnlineMask() {
  std::istringstream list(ReadFile("/sys/devices/system/cpu/online"));
  unsigned long long mask = 0;
  std::string range;
  while (std::getline(list, range, ',')) {
    unsigned first = 0, last = 0;
    int read = std::sscanf(range.c_str(), "%u-%u", &first, &last);
    if (read == 1) last = first;
    for (unsigned cpu = first; read >= 1 && cpu <= last && cpu < 64; cpu++) mask |= 1ull << cpu;
  }
  return mask;
}

// Starts `thread_helper spawn ARGS` and gives the new process's pid.
inline pid_t Spawn(const std::string& args) {
  FILE* helper = popen((HELPER_BINARY " spawn " + args).c_str(), "r");
  int pid = 0;
  if (!helper || std::fscanf(helper, "%d", &pid) != 1) ADD_FAILURE() << "no helper";
  if (helper) pclose(helper);
  return pid;
}

inline void KillAndReap(pid_t pid) {
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

inline cpu_set_t CpuSet(unsigned long long mask) {
  cpu_set_t set;
  CPU_ZERO(&set);
  for (int cpu = 0; cpu < 64; cpu++)
    if (mask >> cpu & 1) CPU_SET(cpu, &set);
  return set;
}

// 0 if the thread is gone.
inline unsigned long long MaskOfThread(pid_t tid) {
  cpu_set_t set;
  if (sched_getaffinity(tid, sizeof set, &set) != 0) return 0;
  unsigned long long mask = 0;
  for (int cpu = 0; cpu < 64; cpu++)
    if (CPU_ISSET(cpu, &set)) mask |= 1ull << cpu;
  return mask;
}

// Thread id to mask, for every thread of the process that is still there
// once its mask is read.
inline std::map<pid_t, unsigned long long> ThreadMasks(pid_t pid) {
  std::map<pid_t, unsigned long long> masks;
  DIR* tasks = opendir(("/proc/" + std::to_string(pid) + "/task").c_str());
  while (struct dirent* entry = tasks ? readdir(tasks) : nullptr)
    if (int tid = std::atoi(entry->d_name))
      if (unsigned long long mask = MaskOfThread(tid)) masks[tid] = mask;
  if (tasks) closedir(tasks);
  return masks;
}

// Runs `check` in a forked child and gives its exit status.
template <typename Check>
int InChild(Check check) {
  pid_t child = fork();
  if (child == 0) _exit(check());
  int status = -1;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

#endif
