#include "host/encodings.h"

#include "host/platform.h"

namespace quirvel {

std::wstring Utf8ToWide(std::string_view utf8) { return platform::DecodeUtf8(utf8); }
std::string WideToUtf8(std::wstring_view wide) { return platform::EncodeUtf8(wide); }
std::string WideToAnsi(std::wstring_view wide) { return platform::EncodeAnsi(wide); }

}  // namespace quirvel
