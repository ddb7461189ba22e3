#include <iostream>

#include "tools/cli.h"

int main(int argc, char** argv) {
  tovrane::cli::Args args(argv + 1, argv + argc);
  const int status = tovrane::cli::runTool(args, std::cout, std::cerr);
  std::cout.flush();
  return status;
}
