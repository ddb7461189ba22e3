#include <csignal>
#include <cstdlib>
#include <iostream>
#include <ostream>
#include <stdexcept>

#include "tools/commands.h"

#ifdef TOVRANE_HAVE_SERVE
#include <thread>

#include "match/match_interrupt.h"
#include "serve/web_server.h"
#endif

namespace tovrane::cli {

#ifdef TOVRANE_HAVE_SERVE

namespace {

// Where games are kept between runs unless --state says: the user's state
// folder ($XDG_STATE_HOME, ~/.local/state, or on Windows %LOCALAPPDATA%).
std::string defaultStateDir() {
  for (const auto& [variable, below] : {std::pair{"XDG_STATE_HOME", ""}, std::pair{"HOME", "/.local/state"},
                                        std::pair{"LOCALAPPDATA", ""}}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return std::string(value) + below + "/tovrane/serve-games";
  }
  return {};
}

}  // namespace

int runServe(Args& args, std::ostream& out) {
  const std::string usage = "serve [--host ADDR] [--port N] [--state DIR|none]";
  ServeConfig config;
  config.stateDir = defaultStateDir();
  Args rest;
  for (size_t i = 0; i < args.size(); ++i) {
    const bool hasValue = i + 1 < args.size();
    if (args[i] == "--host" && hasValue) {
      config.host = args[++i];
    } else if (args[i] == "--port" && hasValue) {
      config.port = parseInt(args[++i], 0, 65535, "--port");
    } else if (args[i] == "--state" && hasValue) {
      config.stateDir = args[++i] == "none" ? std::string() : args[i];
    } else {
      rest.push_back(args[i]);
    }
  }
  expectCount(rest, 0, usage);

  // Ctrl-C (SIGINT, SIGTERM; on Windows the console's Ctrl-C and close
  // events) wakes one thread that stops the server.
  StopSignals stopSignals("tovrane serve: stopping");
  WebServer server(config);
  const int port = server.bind();
  std::thread waiter([&] {
    waitForStop();
    server.stop();
  });
  const bool ipv6 = config.host.find(':') != std::string::npos;
  out << "tovrane serve: http://" << (ipv6 ? "[" + config.host + "]" : config.host) << ":" << port
      << "/ (Ctrl-C stops it)" << std::endl;
  if (!config.stateDir.empty()) out << "tovrane serve: games are kept in " << config.stateDir << std::endl;
  const std::string warning = exposureWarning(config);
  if (!warning.empty()) std::cerr << "tovrane serve: " << warning << std::endl;
  server.run();
  // Stopped by a signal, or the listening socket failed: wake the waiter
  // in the second case (in the first it has returned already).
  requestStop(SIGTERM);
  waiter.join();
  out << "tovrane serve: stopped" << std::endl;
  return 0;
}

#else

int runServe(Args&, std::ostream&) {
  throw std::runtime_error(
      "this tovrane was built without the web server; install cpp-httplib and nlohmann/json "
      "(Debian: libcpp-httplib-dev nlohmann-json3-dev) and build again");
}

#endif

}  // namespace tovrane::cli
