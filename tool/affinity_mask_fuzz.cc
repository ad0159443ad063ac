// Fuzzes the mask builder with any command line: the input's first four
// bytes are the machine's system mask, the rest are the words, split at
// zero bytes. What the builder returns and prints must match a model of
// the rules written apart from it.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "corepen.h"
#include "fake_platform.h"

namespace {

// The conversion as the rules state it: white space, a sign, then digits,
// each step taken modulo 2^32 in wide arithmetic.
int64_t ModelNumber(const std::string& word) {
  size_t at = word.find_first_not_of(" \t\n\v\f\r");
  if (at == std::string::npos) return 0;
  bool negative = false;
  if (word[at] == '+' || word[at] == '-') negative = word[at++] == '-';
  uint64_t value = 0;
  for (; at < word.size() && word[at] >= '0' && word[at] <= '9'; at++)
    value = (value * 10 + static_cast<uint64_t>(word[at] - '0')) % 4294967296u;
  if (negative) value = (4294967296u - value) % 4294967296u;
  return value >= 2147483648u ? static_cast<int64_t>(value) - 4294967296 : static_cast<int64_t>(value);
}

int Capture() {
  static int out = -1;
  if (out < 0) {
    out = memfd_create("printed", 0);
    dup2(out, STDOUT_FILENO);
  }
  return out;
}

std::string Printed(int out) {
  std::string text;
  char buffer[4096];
  lseek(out, 0, SEEK_SET);
  for (ssize_t got; (got = read(out, buffer, sizeof buffer)) > 0;) text.append(buffer, got);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  uint32_t system = 0;
  std::memcpy(&system, data, 4);
  std::vector<std::string> words(1, "corepen");
  std::string rest(reinterpret_cast<const char*>(data + 4), size - 4);
  for (size_t start = 0;;) {
    size_t end = rest.find('\0', start);
    words.push_back(rest.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);

  uint32_t want_mask = 0;
  std::string want_printed;
  for (size_t i = 1; i < words.size(); i++) {
    int64_t number = ModelNumber(words[i]);
    uint32_t bit = 1u << (static_cast<uint64_t>(number) & 31);
    if (system & bit)
      want_mask |= bit;
    else
      want_printed += "Processor ID: " + std::to_string(number) +
                      " is not valid, and will be ignored.\n";
  }

  fake::Machine machine;
  machine.system_mask = system;
  fake::Install(machine);
  int out = Capture();
  fflush(stdout);
  ftruncate(out, 0);
  lseek(out, 0, SEEK_SET);
  AffinityMask mask = BuildAffinityMask(static_cast<int>(words.size()), argv.data());
  fflush(stdout);
  std::string printed = Printed(out);
  if (mask != want_mask || printed != want_printed || fake::Calls().size() != 2) {
    std::fprintf(stderr, "mask %#x, model %#x\nprinted:\n%s\nmodel:\n%s\n", mask, want_mask,
                 printed.c_str(), want_printed.c_str());
    __builtin_trap();
  }
  return 0;
}
