// Windows side of the platform layer: wide strings are UTF-16 and the C
// libraries take paths in the system ANSI code page, in short form when they can.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "host/platform.h"

namespace quirvel::platform {
namespace {

constexpr DWORD kClassicPathUnits = MAX_PATH;
constexpr UINT kUtf8CodePage = 65001;

std::string EncodeWith(UINT code_page, DWORD flags, std::wstring_view wide) {
  if (wide.empty()) return {};
  const int units = static_cast<int>(wide.size());
  const int bytes = ::WideCharToMultiByte(code_page, flags, wide.data(), units, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string out(static_cast<std::size_t>(bytes), '\0');
  if (::WideCharToMultiByte(code_page, flags, wide.data(), units, out.data(), bytes, nullptr, nullptr) !=
      bytes)
    return {};
  return out;
}

}  // namespace

void UseUtf8Console() {
  ::SetConsoleOutputCP(kUtf8CodePage);
  ::SetConsoleCP(kUtf8CodePage);
}

void ReportBrokenPipeAsWriteError() {
  // Windows reports a closed pipe as a failed write already.
}

void UseBinaryStandardStreams() {
  // Standard error too: the parent reads "ready" and the fatal line as lines
  // ending in a bare newline, and a text-mode stream would add a carriage return.
  for (FILE* stream : {stdin, stdout, stderr}) ::_setmode(::_fileno(stream), _O_BINARY);
}

std::wstring DecodeUtf8(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int bytes = static_cast<int>(utf8.size());
  const int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), bytes, nullptr, 0);
  if (units <= 0) return {};
  std::wstring out(static_cast<std::size_t>(units), L'\0');
  if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), bytes, out.data(), units) != units)
    return {};
  return out;
}

std::string EncodeUtf8(std::wstring_view wide) { return EncodeWith(CP_UTF8, WC_ERR_INVALID_CHARS, wide); }

std::string EncodeAnsi(std::wstring_view wide) { return EncodeWith(CP_ACP, 0, wide); }

std::wstring ExecutablePath() {
  std::vector<wchar_t> buffer(kClassicPathUnits);
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size() - 1) return std::wstring(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

std::wstring TempDirectory() {
  wchar_t buffer[kClassicPathUnits];
  const DWORD length = ::GetTempPathW(kClassicPathUnits, buffer);
  if (length == 0 || length >= kClassicPathUnits) return {};
  return std::wstring(buffer, length);
}

std::wstring ShortPathName(const std::wstring& path) {
  const DWORD needed = ::GetShortPathNameW(path.c_str(), nullptr, 0);
  if (needed == 0) return {};
  std::wstring buffer(needed, L'\0');
  const DWORD length = ::GetShortPathNameW(path.c_str(), buffer.data(), needed);
  if (length == 0 || length >= needed) return {};
  buffer.resize(length);
  return buffer;
}

bool QueryAttributes(const std::wstring& path, bool& is_directory) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  is_directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return true;
}

std::filesystem::path NativePath(const std::wstring& path) { return std::filesystem::path(path); }

std::wstring WidePath(const std::filesystem::path& path) { return path.native(); }

void CreatePrivateDirectories(const std::filesystem::path& path) {
  // The temporary directory is per user on Windows and inherits its protection.
  std::error_code ignored;
  std::filesystem::create_directories(path, ignored);
}

// The standard library's recursive copy cannot be used here: its status query
// has no file identities on Windows, so it takes any two folders on one drive
// for the same one and refuses to copy (and to overwrite a file). The folder is
// walked instead and each file copied by the system.
bool CopyDirectoryTree(const std::filesystem::path& from, const std::filesystem::path& to) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (!fs::is_directory(from, error)) return false;
  fs::create_directories(to, error);
  if (error) return false;
  for (fs::recursive_directory_iterator it(from, error), end; !error && it != end; it.increment(error)) {
    const fs::path target = to / it->path().lexically_relative(from);
    if (it->is_directory(error)) {
      fs::create_directories(target, error);
    } else if (::CopyFileW(it->path().c_str(), target.c_str(), FALSE) == 0) {
      return false;
    }
  }
  return !error;
}

bool IsPrivateDirectory(const std::filesystem::path& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

bool CreatePrivateDirectory(const std::filesystem::path& path) {
  // Inherits the protection of the per-user temporary directory, as above.
  return ::CreateDirectoryW(path.c_str(), nullptr) != 0;
}

// Without MOVEFILE_REPLACE_EXISTING a folder that exists is never replaced; a
// folder whose files another process holds open cannot be moved either.
bool MoveDirectory(const std::filesystem::path& from, const std::filesystem::path& to) {
  return ::MoveFileExW(from.c_str(), to.c_str(), 0) != 0;
}

unsigned long CurrentProcessId() { return ::GetCurrentProcessId(); }

}  // namespace quirvel::platform
