// Runs a shell script as the first process of a fresh PID namespace with its
// own /proc, then reads back where every thread there may run.
#ifndef COREPEN_TESTS_NAMESPACE_RUN_H
#define COREPEN_TESTS_NAMESPACE_RUN_H

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "linux_testing.h"

struct Thread {
  int pid, tid, uid;
  unsigned long long mask;
};

struct NamespaceRun {
  int status = -1;       // the tool's exit status
  std::string printed;   // its standard output
  std::vector<Thread> threads;  // every thread in the namespace, after it
};

// `script` runs under /bin/sh with $COREPEN and $HELPER naming the binaries;
// its last command is the tool's run whose output and status are kept.
inline NamespaceRun RunInNamespace(const std::string& script) {
  char dir_template[] = "/tmp/corepen-system-XXXXXX";
  const char* dir = mkdtemp(dir_template);
  NamespaceRun run;
  if (!dir) {
    ADD_FAILURE() << "no temporary directory";
    return run;
  }
  std::string out = std::string(dir) + "/out", status = std::string(dir) + "/status",
              report = std::string(dir) + "/report", body = std::string(dir) + "/script";
  std::ofstream(body) << "COREPEN=" COREPEN_BINARY "\nHELPER=" HELPER_BINARY "\n"
                      << script << " >" << out << "\necho $? >" << status
                      << "\n$HELPER report >" << report << "\n";
  std::string command = "unshare --pid --fork --mount-proc --kill-child /bin/sh " + body;
  int code = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(code) && WEXITSTATUS(code) == 0) << command << ": " << code;
  run.printed = ReadFile(out);
  run.status = std::atoi(ReadFile(status).c_str());
  std::istringstream lines(ReadFile(report));
  Thread thread;
  while (lines >> thread.pid >> thread.tid >> thread.uid >> std::hex >> thread.mask >> std::dec)
    run.threads.push_back(thread);
  EXPECT_FALSE(run.threads.empty()) << "no report from the namespace";
  std::system(("rm -rf " + std::string(dir)).c_str());
  return run;
}

#endif
