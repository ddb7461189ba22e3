#include "serve/request_guard.h"

#include <cctype>

namespace tovrane {

namespace {

std::string lower(std::string text) {
  for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return text;
}

bool isIpv4(const std::string& name) {
  int parts = 0;
  size_t i = 0;
  while (i <= name.size()) {
    size_t digits = 0;
    int value = 0;
    while (i < name.size() && std::isdigit(static_cast<unsigned char>(name[i])) && digits < 4) {
      value = value * 10 + (name[i] - '0');
      ++digits;
      ++i;
    }
    if (digits == 0 || digits > 3 || value > 255) return false;
    ++parts;
    if (i == name.size()) break;
    if (name[i] != '.') return false;
    ++i;
  }
  return parts == 4;
}

bool isBracketedIpv6(const std::string& name) {
  if (name.size() < 4 || name.front() != '[' || name.back() != ']') return false;
  for (size_t i = 1; i + 1 < name.size(); ++i) {
    const char ch = name[i];
    if (!std::isxdigit(static_cast<unsigned char>(ch)) && ch != ':' && ch != '.') return false;
  }
  return true;
}

// The name with IPv6 addresses in brackets, as a Host header writes them.
std::string hostForm(const std::string& host) {
  const std::string name = lower(host);
  return name.find(':') != std::string::npos && name.front() != '[' ? "[" + name + "]" : name;
}

}  // namespace

bool isLoopbackHost(const std::string& host) {
  const std::string name = hostForm(host);
  return name == "localhost" || name == "[::1]" || (isIpv4(name) && name.rfind("127.", 0) == 0);
}

RequestGuard::RequestGuard(const std::string& host, int port)
    : host_(hostForm(host)),
      port_(port),
      loopback_(isLoopbackHost(host)),
      wildcard_(host_.empty() || host_ == "0.0.0.0" || host_ == "[::]") {}

std::string RequestGuard::checkHost(const std::string& hostHeader) const {
  if (hostHeader.empty()) return "the request has no Host header";
  const std::string header = lower(hostHeader);
  // Split "name:port"; an IPv6 name is in brackets.
  std::string name = header;
  std::string port;
  const size_t close = header.rfind(']');
  const size_t colon = header.rfind(':');
  if (colon != std::string::npos && (close == std::string::npos || colon > close)) {
    name = header.substr(0, colon);
    port = header.substr(colon + 1);
  }
  const bool portMatches = port.empty() ? port_ == 80 : port == std::to_string(port_);
  bool nameMatches = name == host_;
  if (loopback_) nameMatches = nameMatches || name == "localhost" || name == "127.0.0.1" || name == "[::1]";
  if (wildcard_) nameMatches = name == "localhost" || isIpv4(name) || isBracketedIpv6(name);
  if (portMatches && nameMatches) return {};
  return "refused: Host '" + oneLine(hostHeader, 80) + "' is not this server's address; open http://" +
         (wildcard_ ? std::string("ADDRESS") : host_) + ":" + std::to_string(port_) + "/ instead";
}

std::string RequestGuard::checkWrite(const std::string& method, const std::string& hostHeader,
                                     const std::string& origin, bool hasOrigin, const std::string& fetchSite) const {
  if (method == "GET" || method == "HEAD" || method == "OPTIONS") return {};
  if (hasOrigin && lower(origin) != "http://" + lower(hostHeader)) {
    return "refused: a cross-site request from '" + oneLine(origin, 80) + "'; use the page of this server";
  }
  if (!fetchSite.empty() && fetchSite != "same-origin" && fetchSite != "none") {
    return "refused: a " + oneLine(fetchSite, 20) + " request; use the page of this server";
  }
  return {};
}

std::string oneLine(const std::string& text, size_t maxLength) {
  std::string out;
  for (unsigned char ch : text) {
    if (out.size() >= maxLength) {
      out += "...";
      break;
    }
    out += ch >= 0x20 && ch < 0x7f ? static_cast<char>(ch) : '?';
  }
  return out;
}

}  // namespace tovrane
