#pragma once
// Which requests the server answers at all. A page on another site can
// reach a local server through the user's browser: by posting to it (a
// cross-site write), or by a name of its own that it makes point at this
// machine (DNS rebinding), so that the browser thinks the server is the
// other site. The first shows in the Origin and Sec-Fetch-Site headers, the
// second in the Host header, which then names the other site.

#include <string>

namespace tovrane {

class RequestGuard {
 public:
  // host as given to --host, port the one listened on.
  RequestGuard(const std::string& host, int port);

  // Whether a request with this Host header is for this server: the
  // listening address (for a loopback address also localhost, 127.0.0.1
  // and [::1]; for a wildcard address any address literal, but no name).
  // Empty when it is, else the one-line reason.
  std::string checkHost(const std::string& hostHeader) const;

  // Whether a request that changes something (any method but GET, HEAD and
  // OPTIONS) comes from this server's own page: an Origin header, when
  // sent, must be http://HOST of the request, and Sec-Fetch-Site, when
  // sent, same-origin or none. Empty when it does, else the reason.
  std::string checkWrite(const std::string& method, const std::string& hostHeader, const std::string& origin,
                         bool hasOrigin, const std::string& fetchSite) const;

 private:
  std::string host_;  // lower case, an IPv6 address in brackets
  int port_;
  bool loopback_;
  bool wildcard_;
};

// Whether binding to host exposes the page beyond this machine.
bool isLoopbackHost(const std::string& host);

// text as one printable ASCII line of at most maxLength characters: line
// breaks, control characters and bytes outside ASCII become '?'.
std::string oneLine(const std::string& text, size_t maxLength = 300);

}  // namespace tovrane
