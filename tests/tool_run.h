#pragma once
// Runs a tovrane subcommand in-process and keeps what it printed.

#include <sstream>
#include <string>

#include "tools/cli.h"

namespace tovrane::test {

constexpr const char* kInitialDigits = "222222222222000000000000111111111111";

struct ToolResult {
  int status;
  std::string out;
  std::string err;
};

inline ToolResult runTovrane(const cli::Args& argv) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = cli::runTool(argv, out, err);
  return {status, out.str(), err.str()};
}

}  // namespace tovrane::test
