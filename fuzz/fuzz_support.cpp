#include "fuzz/fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "host/resources.h"

namespace quirvel::fuzz {
namespace {

namespace fs = std::filesystem;

// One folder per process, so parallel fuzzing jobs never overwrite each
// other's files; removed when the process ends normally.
struct ScratchFolder {
  fs::path path = fs::temp_directory_path() / ("quirvel-fuzz-" + std::to_string(::getpid()));
  ScratchFolder() { fs::create_directories(path); }
  ~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
};

const fs::path& ScratchDir() {
  static const ScratchFolder folder;
  return folder.path;
}

}  // namespace

void FailInvariant(const char* what, std::string_view detail) {
  std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
  if (!detail.empty()) std::fprintf(stderr, "  detail: %.*s\n", static_cast<int>(detail.size()), detail.data());
  std::abort();
}

void UseBuildResources() {
  Require(SetJiebaDictDir(QUIRVEL_FUZZ_JIEBA_DICT_DIR), "the build's Jieba dictionary is usable");
  Require(SetOpenccResourceDir(QUIRVEL_FUZZ_OPENCC_DIR), "the build's OpenCC folder is usable");
  SetHostOpenccResourceDir(QUIRVEL_FUZZ_OPENCC_DIR);
}

std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

ScratchFile::ScratchFile(const std::string& name, std::string_view contents)
    : path_((ScratchDir() / name).string()) {
  std::ofstream out(path_, std::ios::binary | std::ios::trunc);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  Require(static_cast<bool>(out), "the scratch file is written", path_);
}

ScratchFile::~ScratchFile() {
  std::error_code ignored;
  fs::remove(path_, ignored);
}

}  // namespace quirvel::fuzz
