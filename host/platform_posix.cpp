// POSIX side of the platform layer: wide strings are UTF-32, the "ANSI" code
// page is UTF-8, and paths have no short form.
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "host/platform.h"
#include "host/unicode.h"

namespace quirvel::platform {
namespace {

constexpr std::size_t kClassicPathUnits = 260;

std::string NarrowPath(const std::wstring& path) { return EncodeUtf8(path); }

// lstat follows a link named with a trailing slash, so the slash must go first.
std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

void UseUtf8Console() {
  // A POSIX terminal passes bytes through; the worker's streams are UTF-8 already.
}

void ReportBrokenPipeAsWriteError() { std::signal(SIGPIPE, SIG_IGN); }

void UseBinaryStandardStreams() {
  // POSIX streams never translate line ends.
}

std::wstring DecodeUtf8(std::string_view utf8) {
  std::wstring out;
  for (std::size_t pos = 0; pos < utf8.size();) {
    const DecodedChar decoded = DecodeUtf8At(utf8, pos);
    if (decoded.length == 0) return {};
    out += static_cast<wchar_t>(decoded.code_point);
    pos += decoded.length;
  }
  return out;
}

std::string EncodeUtf8(std::wstring_view wide) {
  std::string out;
  for (wchar_t unit : wide) {
    const auto code_point = static_cast<char32_t>(unit);
    if (!IsScalarValue(code_point)) return {};
    AppendUtf8(out, code_point);
  }
  return out;
}

std::string EncodeAnsi(std::wstring_view wide) { return EncodeUtf8(wide); }

std::wstring ExecutablePath() {
  std::vector<char> buffer(kClassicPathUnits);
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0) return {};
    if (static_cast<std::size_t>(length) < buffer.size() - 1)
      return DecodeUtf8(std::string_view(buffer.data(), static_cast<std::size_t>(length)));
    buffer.resize(buffer.size() * 2);
  }
}

std::wstring TempDirectory() {
  const char* tmpdir = std::getenv("TMPDIR");
  std::wstring dir = DecodeUtf8(tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp/");
  if (dir.empty() || dir.size() >= kClassicPathUnits) return {};
  return dir;
}

std::wstring ShortPathName(const std::wstring& path) { return path; }

bool QueryAttributes(const std::wstring& path, bool& is_directory) {
  const std::string narrow = NarrowPath(path);
  struct stat st {};
  if (narrow.empty() || ::stat(narrow.c_str(), &st) != 0) return false;
  is_directory = S_ISDIR(st.st_mode);
  return true;
}

std::filesystem::path NativePath(const std::wstring& path) { return std::filesystem::path(NarrowPath(path)); }

std::wstring WidePath(const std::filesystem::path& path) { return DecodeUtf8(path.native()); }

void CreatePrivateDirectories(const std::filesystem::path& path) {
  std::filesystem::path prefix;
  for (const auto& part : path) {
    prefix /= part;
    ::mkdir(prefix.c_str(), 0700);  // an existing folder is judged by IsPrivateDirectory
  }
}

bool CopyDirectoryTree(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::error_code error;
  std::filesystem::copy(
      from, to, std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing,
      error);
  return !error;
}

bool IsPrivateDirectory(const std::filesystem::path& path) {
  const std::string narrow = WithoutTrailingSlashes(path.native());
  struct stat st {};
  if (narrow.empty() || ::lstat(narrow.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool CreatePrivateDirectory(const std::filesystem::path& path) { return ::mkdir(path.c_str(), 0700) == 0; }

// rename() replaces an empty folder but refuses one with entries (ENOTEMPTY or
// EEXIST); a finished copy always holds files, so it is never replaced.
bool MoveDirectory(const std::filesystem::path& from, const std::filesystem::path& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

unsigned long CurrentProcessId() { return static_cast<unsigned long>(::getpid()); }

}  // namespace quirvel::platform
