#include "serve/web_server.h"

#include <chrono>
#include <stdexcept>
#include <thread>

#include "serve/listen_socket.h"
#include "serve/web_assets.h"
#include "serve/web_server_impl.h"

namespace tovrane {

httplib::Server::Handler WebServer::Impl::api(Handler handler) {
  return [handler](const httplib::Request& req, httplib::Response& res) {
    try {
      res.set_content(dumpJson(handler(req)), "application/json");
    } catch (const Refusal& r) {
      setError(res, r.status, r.message);
    } catch (const std::exception& e) {
      setError(res, 500, std::string("internal error: ") + e.what());
    } catch (...) {
      setError(res, 500, "internal error");
    }
  };
}

// The page's own files, compiled in.
void WebServer::Impl::pageRoutes() {
  for (const WebAsset& asset : webAssets()) {
    const std::string path = asset.path == std::string("/index.html") ? "/" : asset.path;
    http.Get(path, [&asset](const httplib::Request&, httplib::Response& res) {
      res.set_header("Cache-Control", "no-cache");
      res.set_content(reinterpret_cast<const char*>(asset.data), asset.size, asset.type);
    });
  }
}

void WebServer::Impl::routes() {
  gameRoutes();
  analysisRoutes();
  recordRoutes();
  recordAnalysisRoutes();
  pageRoutes();

  // Before any route: a request for another site's name, or a write from
  // another site's page, is refused.
  http.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    const std::string host = req.get_header_value("Host");
    std::string why = guard ? guard->checkHost(host) : std::string("the server is not listening yet");
    if (why.empty()) {
      why = guard->checkWrite(req.method, host, req.get_header_value("Origin"), req.has_header("Origin"),
                              req.get_header_value("Sec-Fetch-Site"));
    }
    if (why.empty()) return httplib::Server::HandlerResponse::Unhandled;
    setError(res, 403, why);
    return httplib::Server::HandlerResponse::Handled;
  });

  // Unknown paths, bodies over the limit and the like: httplib picks the
  // status; the body says it in one line.
  http.set_error_handler([](const httplib::Request& req, httplib::Response& res) {
    if (!res.body.empty()) return;
    std::string message = "request refused";
    if (res.status == 404) message = "unknown path " + req.path.substr(0, 80);
    if (res.status == 413) message = "the request body is larger than the limit";
    if (res.status == 400) message = "malformed HTTP request (a POST needs a body, {} at least)";
    setError(res, res.status, message);
  });
  http.set_payload_max_length(config.maxBodyBytes);
  // Not httplib's default options: they would let a second server share a
  // port that is taken.
  http.set_socket_options([](socket_t sock) { setListenOptions(static_cast<std::intptr_t>(sock)); });
  http.new_task_queue = [] { return new httplib::ThreadPool(8); };
  // Stopping waits for idle keep-alive connections (a browser keeps some
  // open) to time out: one second instead of httplib's five.
  http.set_keep_alive_timeout(1);
}

WebServer::WebServer(const ServeConfig& config) : impl_(std::make_unique<Impl>(config)) {}

WebServer::~WebServer() {
  stop();
  std::shared_ptr<SearchSlots> slots = impl_->slots;
  slots->closing = true;
  std::unique_lock<std::mutex> lock(slots->mutex);
  slots->freed.wait(lock, [&] { return slots->running == 0; });
}

int WebServer::bind() {
  const int port = impl_->config.port == 0 ? impl_->http.bind_to_any_port(impl_->config.host)
                                           : (impl_->http.bind_to_port(impl_->config.host, impl_->config.port)
                                                  ? impl_->config.port
                                                  : -1);
  if (port < 0) {
    throw std::runtime_error("cannot listen on " + impl_->config.host + " port " +
                             std::to_string(impl_->config.port));
  }
  impl_->guard = std::make_unique<RequestGuard>(impl_->config.host, port);
  return port;
}

void WebServer::run() {
  impl_->runEntered = true;
  impl_->http.listen_after_bind();
  impl_->runExited = true;
}

// httplib's stop() does nothing before listening has begun, so a stop that
// comes just after run() was entered waits for the listening to start.
void WebServer::stop() {
  while (impl_->runEntered && !impl_->runExited && !impl_->http.is_running()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  impl_->http.stop();
}

std::string exposureWarning(const ServeConfig& config) {
  if (isLoopbackHost(config.host)) return {};
  return "warning: listening on " + config.host +
         " opens the page and its engines to the network; anyone who can reach this machine can use them";
}

}  // namespace tovrane
