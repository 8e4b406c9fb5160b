// The few operating-system calls the worker makes, behind one small interface so
// the rest of the host is the same on Windows and on POSIX systems. Wide strings
// are UTF-16 on Windows and UTF-32 elsewhere.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace quirvel::platform {

// Console: UTF-8 in both directions, and a closed standard output reported as a
// failed write instead of a signal that would end the process silently.
void UseUtf8Console();
void ReportBrokenPipeAsWriteError();
// The standard streams carry bytes unchanged: a carriage return before a newline
// stays part of the request line, and replies, "ready" and the fatal line end
// in a bare newline.
void UseBinaryStandardStreams();

// Encodings. Each gives "" on any error; DecodeUtf8 is strict.
std::wstring DecodeUtf8(std::string_view utf8);
std::string EncodeUtf8(std::wstring_view wide);
std::string EncodeAnsi(std::wstring_view wide);

// The running executable's full path; "" when it cannot be determined.
std::wstring ExecutablePath();
// The user's temporary directory; "" when it cannot be determined or is longer
// than the classic 260-unit path buffer.
std::wstring TempDirectory();
// The short (8.3) form of an existing path; "" when there is none.
std::wstring ShortPathName(const std::wstring& path);
// True when the path exists; is_directory tells whether it is a directory.
bool QueryAttributes(const std::wstring& path, bool& is_directory);

// Between the worker's wide strings and the standard file-system library.
std::filesystem::path NativePath(const std::wstring& path);
std::wstring WidePath(const std::filesystem::path& path);

// Creates path and its missing parents so that only the current user can use
// the new folders. Failures are left to IsPrivateDirectory to notice.
void CreatePrivateDirectories(const std::filesystem::path& path);
// Copies the folder from into the folder to, recursively, overwriting files
// that exist there and keeping the others; false when anything failed.
bool CopyDirectoryTree(const std::filesystem::path& from, const std::filesystem::path& to);
// The folder is a real directory (not a link) that only the current user owns
// and can write to, so files copied into it cannot be swapped by someone else.
bool IsPrivateDirectory(const std::filesystem::path& path);

// Creates exactly this folder (its parent must exist), usable by the current
// user only; false when it exists already or cannot be made, so two processes
// asking for the same name never both get it.
bool CreatePrivateDirectory(const std::filesystem::path& path);
// Renames the folder from to the name to in one step. Never replaces a folder
// that holds anything: false when to is taken or the rename fails.
bool MoveDirectory(const std::filesystem::path& from, const std::filesystem::path& to);
// This process's identifier, for names no running process shares.
unsigned long CurrentProcessId();

}  // namespace quirvel::platform
