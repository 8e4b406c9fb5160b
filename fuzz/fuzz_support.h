// Shared pieces of the fuzz targets: invariant checks that stop the run,
// the resource folders of the build, and scratch files for loaders that read paths.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quirvel::fuzz {

// Prints what broke and aborts, so libFuzzer keeps the input as a crash.
[[noreturn]] void FailInvariant(const char* what, std::string_view detail);

inline void Require(bool holds, const char* what, std::string_view detail = {}) {
  if (!holds) FailInvariant(what, detail);
}

// Points the worker's resource settings at the build's Jieba dictionary and
// OpenCC configurations, as the worker's start-up would.
void UseBuildResources();

std::string_view AsText(const std::uint8_t* data, std::size_t size);

// A file in this process's own scratch folder, removed again when dropped.
class ScratchFile {
 public:
  ScratchFile(const std::string& name, std::string_view contents);
  ~ScratchFile();
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace quirvel::fuzz
