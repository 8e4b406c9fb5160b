// POSIX side of the platform layer: wide strings are UTF-32, the "ANSI" code
// page is UTF-8, and paths have no short form.
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "host/platform.h"

namespace quirvel::platform {
namespace {

constexpr std::size_t kClassicPathUnits = 260;

// Number of continuation bytes a lead byte announces, or -1 for a byte that
// cannot start a character.
int ContinuationCount(unsigned char lead) {
  if (lead < 0x80) return 0;
  if (lead >= 0xC2 && lead <= 0xDF) return 1;
  if (lead >= 0xE0 && lead <= 0xEF) return 2;
  if (lead >= 0xF0 && lead <= 0xF4) return 3;
  return -1;
}

char32_t LeadBits(unsigned char lead, int continuations) {
  static constexpr unsigned char kMasks[] = {0x7F, 0x1F, 0x0F, 0x07};
  return lead & kMasks[continuations];
}

bool IsScalarValue(char32_t cp) { return cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF); }

// Overlong forms decode to a code point that a shorter sequence could hold.
bool IsShortestForm(char32_t cp, int continuations) {
  static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
  return cp >= kMinimum[continuations];
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

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
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const int continuations = ContinuationCount(lead);
    if (continuations < 0 || utf8.size() - i <= static_cast<std::size_t>(continuations)) return {};
    char32_t cp = LeadBits(lead, continuations);
    for (int k = 1; k <= continuations; ++k) {
      const auto byte = static_cast<unsigned char>(utf8[i + k]);
      if ((byte & 0xC0) != 0x80) return {};
      cp = (cp << 6) | (byte & 0x3F);
    }
    if (!IsScalarValue(cp) || !IsShortestForm(cp, continuations)) return {};
    out += static_cast<wchar_t>(cp);
    i += continuations + 1;
  }
  return out;
}

std::string EncodeUtf8(std::wstring_view wide) {
  std::string out;
  for (wchar_t unit : wide) {
    const auto cp = static_cast<char32_t>(unit);
    if (!IsScalarValue(cp)) return {};
    AppendUtf8(out, cp);
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

}  // namespace quirvel::platform
