#include "temp_tree.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace quirvel::test {

TempTree::TempTree() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quirvel_host_test_XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = buffer.data();
}

TempTree::~TempTree() {
  std::error_code ignored;
  std::filesystem::permissions(root_, std::filesystem::perms::owner_all, ignored);
  std::filesystem::remove_all(root_, ignored);
}

std::string TempTree::MakeDir(const std::string& relative) const {
  const auto path = std::filesystem::path(root_) / relative;
  std::filesystem::create_directories(path);
  return path.string();
}

std::string TempTree::WriteFile(const std::string& relative, const std::string& content) const {
  const auto path = std::filesystem::path(root_) / relative;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
  return path.string();
}

void SetEnv(const char* name, const char* value) {
  if (value == nullptr) {
    ::unsetenv(name);
  } else {
    ::setenv(name, value, 1);
  }
}

}  // namespace quirvel::test
