#include "support/temp_dir.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tidewell::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tidewell-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::file(std::string_view name) const {
  return path_ + "/" + std::string(name);
}

std::string TempDir::write(std::string_view name, std::string_view content) const {
  const std::string path = file(name);
  writeFile(path, content);
  return path;
}

std::string TempDir::read(std::string_view name) const {
  return readFile(file(name));
}

ScopedChdir::ScopedChdir(const std::string& dir) : previous_(std::filesystem::current_path().string()) {
  std::filesystem::current_path(dir);
}

ScopedChdir::~ScopedChdir() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

void writeFile(const std::string& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

}  // namespace tidewell::test
