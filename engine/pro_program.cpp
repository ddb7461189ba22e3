// engine-pro's main function: options, then the same referee loop as the
// exact programs, driving the time-budgeted search.

#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "engine/pro_options.h"
#include "engine/referee_loop.h"
#include "game/opening_book.h"
#include "search/engine_settings.h"
#include "search/pro_search.h"

namespace tovrane {

int runProProgram(int argc, const char* const* argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
  ProOptions options;
  std::string error;
  if (!parseProOptions(args, options, error)) {
    std::cerr << "engine-pro: " << error << "\n";
    return 2;
  }
  static OpeningBook book;
  ProSearch* search = nullptr;
  try {
    static ProSearch pro(&book, options.hashMegabytes);
    search = &pro;
  } catch (const std::bad_alloc&) {
    std::cerr << "engine-pro: cannot allocate a " << options.hashMegabytes << " MB table; try a smaller --hash\n";
    return 2;
  }
  search->setTimeBudget(options.moveSeconds);
  if (options.nodes > 0) {
    // The node count decides alone; the clock only guards against a runaway.
    search->setTimePlan(3600, 3600);
    search->setNodeLimit(options.nodes);
  }
  if (options.depth > 0) search->setFixedDepth(options.depth);
  search->setDrawPlies(options.drawPlies);
  static RefereeLoop loop(kProEngine, *search, std::cin, std::cout, nullptr);
  return loop.run();
}

}  // namespace tovrane
