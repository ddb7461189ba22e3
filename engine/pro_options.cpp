#include "engine/pro_options.h"

#include <cmath>
#include <cstdlib>

namespace tovrane {

namespace {

// A whole decimal number or a decimal fraction, nothing else.
bool readNumber(const std::string& text, double& value) {
  if (text.empty() || text.size() > 32) return false;
  bool digit = false;
  bool point = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  if (!digit) return false;
  value = std::strtod(text.c_str(), nullptr);
  return std::isfinite(value);
}

}  // namespace

bool parseProOptions(const std::vector<std::string>& args, ProOptions& options, std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    if (name != "--movetime" && name != "--hash" && name != "--draw-plies" && name != "--depth" && name != "--nodes") {
      error = "unknown argument '" + name +
              "' (options: --movetime SECONDS, --hash MB, --draw-plies N, --depth N, --nodes N)";
      return false;
    }
    if (i + 1 == args.size()) {
      error = name + " needs a value";
      return false;
    }
    const std::string& text = args[++i];
    double value = 0;
    const bool number = readNumber(text, value);
    if (name == "--movetime") {
      if (!number || value < 0.01 || value > 60) {
        error = "--movetime must be a number of seconds from 0.01 to 60, got '" + text + "'";
        return false;
      }
      options.moveSeconds = value;
    } else if (name == "--hash") {
      if (!number || value != std::floor(value) || value < 1 || value > 1024) {
        error = "--hash must be a whole number of megabytes from 1 to 1024, got '" + text + "'";
        return false;
      }
      options.hashMegabytes = static_cast<size_t>(value);
    } else if (name == "--depth") {
      if (!number || value != std::floor(value) || value < 1 || value > 64) {
        error = "--depth must be a whole number from 1 to 64, got '" + text + "'";
        return false;
      }
      options.depth = static_cast<int>(value);
    } else if (name == "--nodes") {
      if (!number || value != std::floor(value) || value < 1000 || value > 1e9) {
        error = "--nodes must be a whole number from 1000 to 1000000000, got '" + text + "'";
        return false;
      }
      options.nodes = static_cast<uint64_t>(value);
    } else {
      if (!number || value != std::floor(value) || value < 1 || value > 10000) {
        error = "--draw-plies must be a whole number from 1 to 10000, got '" + text + "'";
        return false;
      }
      options.drawPlies = static_cast<int>(value);
    }
  }
  return true;
}

}  // namespace tovrane
