#include <iostream>
#include <ostream>
#include <stdexcept>

#include "tools/commands.h"

#ifdef TOVRANE_HAVE_SERVE
#include <pthread.h>
#include <signal.h>

#include <thread>

#include "serve/web_server.h"
#endif

namespace tovrane::cli {

#ifdef TOVRANE_HAVE_SERVE

int runServe(Args& args, std::ostream& out) {
  const std::string usage = "serve [--host ADDR] [--port N]";
  ServeConfig config;
  Args rest;
  for (size_t i = 0; i < args.size(); ++i) {
    const bool hasValue = i + 1 < args.size();
    if (args[i] == "--host" && hasValue) {
      config.host = args[++i];
    } else if (args[i] == "--port" && hasValue) {
      config.port = parseInt(args[++i], 0, 65535, "--port");
    } else {
      rest.push_back(args[i]);
    }
  }
  expectCount(rest, 0, usage);

  // Ctrl-C and SIGTERM are taken by one thread that stops the server; every
  // other thread (the server's pool included) has them blocked.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &stopSignals, &previous);

  {
    WebServer server(config);
    int port = 0;
    try {
      port = server.bind();
    } catch (...) {
      pthread_sigmask(SIG_SETMASK, &previous, nullptr);
      throw;
    }
    std::thread waiter([&] {
      int signal = 0;
      sigwait(&stopSignals, &signal);
      server.stop();
    });
    const bool ipv6 = config.host.find(':') != std::string::npos;
    out << "tovrane serve: http://" << (ipv6 ? "[" + config.host + "]" : config.host) << ":" << port
        << "/ (Ctrl-C stops it)" << std::endl;
    const std::string warning = exposureWarning(config);
    if (!warning.empty()) std::cerr << "tovrane serve: " << warning << std::endl;
    server.run();
    // Stopped by a signal, or the listening socket failed: wake the waiter
    // in the second case (in the first it has returned already).
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
    out << "tovrane serve: stopped" << std::endl;
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
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
