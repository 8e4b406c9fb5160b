// Conversions between the worker's UTF-8 strings and the platform's wide
// strings (UTF-16 on Windows, UTF-32 elsewhere) and ANSI code page. Paths are
// handed to the operating system and to ONNX Runtime through them.
#pragma once

#include <string>
#include <string_view>

namespace quirvel {

std::wstring Utf8ToWide(std::string_view utf8);  // strict; "" on error
std::string WideToUtf8(std::wstring_view wide);  // "" on error
std::string WideToAnsi(std::wstring_view wide);  // "" on error

}  // namespace quirvel
