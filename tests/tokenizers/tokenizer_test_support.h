// Helpers for tokenizer tests: tokenizer files written from short in-memory
// contents, removed again when the test ends.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tokenizers/tokenizer.h"

namespace quirvel::test {

// A file under the test temp directory whose name is unique per process and test,
// so tests running in parallel never share one.
class TempFile {
 public:
  TempFile(const std::string& suffix, const std::string& contents) {
    static int counter = 0;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info != nullptr ? std::string(info->name()) : std::string("fixture");
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    path_ = (std::filesystem::path(::testing::TempDir()) /
             ("qrv_tok_" + std::to_string(getpid()) + "_" + std::to_string(counter++) + "_" + name + suffix))
                .string();
    std::ofstream(path_, std::ios::binary) << contents;
  }
  ~TempFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

inline Tokenizer LoadFromJson(const std::string& json) {
  const TempFile file(".json", json);
  return Tokenizer(file.path());
}

inline Tokenizer LoadFromVocabLines(const std::string& lines) {
  const TempFile file("_vocab.txt", lines);
  return Tokenizer(file.path());
}

// The message the constructor throws for a file, or "" when it loads.
inline std::string LoadError(const std::string& path) {
  try {
    Tokenizer tokenizer(path);
  } catch (const std::exception& error) {
    return error.what();
  }
  return "";
}

using Ids = std::vector<std::int64_t>;

}  // namespace quirvel::test
