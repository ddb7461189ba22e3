#pragma once
// The page's files, compiled into the program (see embed_web.cmake).

#include <cstddef>
#include <vector>

namespace tovrane {

struct WebAsset {
  const char* path;  // as requested, e.g. /app.js
  const char* type;  // Content-Type
  const unsigned char* data;
  size_t size;
};

const std::vector<WebAsset>& webAssets();

}  // namespace tovrane
