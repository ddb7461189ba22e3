#include "match/temp_folder.h"

#include <filesystem>
#include <random>

namespace tovrane {

namespace fs = std::filesystem;

std::string makeTempFolder(const std::string& prefix, std::string& error) {
  std::error_code failure;
  const fs::path base = fs::temp_directory_path(failure);
  if (failure) {
    error = "no temporary folder: " + failure.message();
    return "";
  }
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device seed;
  std::mt19937_64 random(static_cast<std::uint64_t>(seed()) << 32 ^ seed());
  // create_directory fails on a name that exists, so a folder made by
  // someone else is never taken over.
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = prefix;
    for (int i = 0; i < 10; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
    const fs::path path = base / name;
    if (fs::create_directory(path, failure)) {
      fs::permissions(path, fs::perms::owner_all, failure);
      return path.string();
    }
    if (failure && failure != std::errc::file_exists) break;
  }
  error = "cannot create a folder in " + base.string() + (failure ? ": " + failure.message() : "");
  return "";
}

}  // namespace tovrane
