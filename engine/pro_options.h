#pragma once
// engine-pro's command line: --movetime SECONDS (0.01 to 60, default 1),
// --hash MB (1 to 1024, default 64), --draw-plies N (1 to 10000, default 80),
// --depth N (1 to 64: a fixed depth instead of the clock, the same answer on
// every run; for tests and reproducible games), --nodes N (1000 to
// 1000000000: stop each search after about N nodes, whatever the clock; for
// matches and data that must not depend on the machine's speed or load).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tovrane {

struct ProOptions {
  double moveSeconds = 1.0;
  size_t hashMegabytes = 64;
  int drawPlies = 80;
  int depth = 0;  // 0: search by time
  uint64_t nodes = 0;  // 0: no node limit
};

// Reads args (without the program name). False with a one-line message in
// error for anything it does not understand.
bool parseProOptions(const std::vector<std::string>& args, ProOptions& options, std::string& error);

}  // namespace tovrane
