// Helpers for driving the tool in-process: a command line as main gets it,
// and what it printed.
#ifndef COREPEN_TOOL_TESTING_H
#define COREPEN_TOOL_TESTING_H

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// argv for the words, with the program's name at index 0.
class CommandLine {
 public:
  explicit CommandLine(std::vector<std::string> words) : words_(std::move(words)) {
    words_.insert(words_.begin(), "corepen");
    for (std::string& word : words_) argv_.push_back(&word[0]);
    argv_.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(words_.size()); }
  char** argv() { return argv_.data(); }

 private:
  std::vector<std::string> words_;
  std::vector<char*> argv_;
};

// Standard output of `action`, as the C runtime's stream reads it back.
inline std::string Printed(const std::function<void()>& action) {
  testing::internal::CaptureStdout();
  action();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

#endif
