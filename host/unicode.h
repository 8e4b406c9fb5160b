// Strict UTF-8 decoding and encoding of code points, and the Han ranges. Every
// subsystem that needs a code point (segmentation, the BPE byte map, the POSIX
// platform layer, the engine's model path) goes through these.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quirvel {

// One strictly decoded character: length 0 when the bytes at the position are
// not a valid UTF-8 sequence (a stray continuation byte, a missing or wrong
// continuation byte, an overlong form, a surrogate, or a value past U+10FFFF).
struct DecodedChar {
  char32_t code_point = 0;
  std::size_t length = 0;
};

DecodedChar DecodeUtf8At(std::string_view text, std::size_t pos);
bool IsValidUtf8(std::string_view text);

// A code point that UTF-8 (and UTF-16) can carry: at most U+10FFFF, no surrogate.
bool IsScalarValue(char32_t code_point);
// Appends the shortest UTF-8 form of a scalar value.
void AppendUtf8(std::string& out, char32_t code_point);

// CJK unified ideographs, extension A to E and the compatibility ideographs.
bool IsHanCodePoint(char32_t code_point);

}  // namespace quirvel
