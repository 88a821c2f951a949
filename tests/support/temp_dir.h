#pragma once

#include <string>
#include <string_view>

namespace tidewell::test {

// A fresh directory under the temporary folder, removed with everything in
// it when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  [[nodiscard]] const std::string& path() const { return path_; }
  // path() + "/" + name
  [[nodiscard]] std::string file(std::string_view name) const;
  // Write a file (binary) and return its path.
  std::string write(std::string_view name, std::string_view content) const;
  [[nodiscard]] std::string read(std::string_view name) const;

 private:
  std::string path_;
};

// Runs the test body's work inside a directory (the spools and reports are
// written to the current directory) and returns to the old one afterwards.
class ScopedChdir {
 public:
  explicit ScopedChdir(const std::string& dir);
  ~ScopedChdir();
  ScopedChdir(const ScopedChdir&) = delete;
  ScopedChdir& operator=(const ScopedChdir&) = delete;

 private:
  std::string previous_;
};

[[nodiscard]] std::string readFile(const std::string& path);
void writeFile(const std::string& path, std::string_view content);

}  // namespace tidewell::test
