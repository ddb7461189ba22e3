#pragma once
// A fresh temporary folder for a test, removed afterwards; optionally the
// process's working directory while it lives.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace tovrane::test {

// Writes content to path exactly as given (binary), creating its folders.
inline void writeFile(const std::filesystem::path& path, const std::string& content) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

class TempDir {
 public:
  explicit TempDir(bool enter = false) {
    std::string pattern = (std::filesystem::temp_directory_path() / "tovrane-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    if (enter) {
      previous_ = std::filesystem::current_path();
      std::filesystem::current_path(path_);
    }
  }
  ~TempDir() {
    if (!previous_.empty()) std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // Writes a book file for the position given as 36 digits.
  void writeBook(const std::string& boardDigits, const std::string& content) const {
    writeFile(path_ / "startgame" / (boardDigits + ".zjb"), content);
  }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

}  // namespace tovrane::test
