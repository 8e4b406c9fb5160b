// UTF-8 character helpers. Every length in characters that the worker speaks of
// (max_len, title and candidate limits, tokenizer words) is counted with these.
//
// A character is the run of bytes its lead byte announces, without checking the
// continuation bytes: <0x80 -> 1, 0xC0..0xDF -> 2, 0xE0..0xEF -> 3, 0xF0..0xF7 -> 4,
// anything else -> 1. A character that would run past the end is one byte alone.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quirvel {

// Byte length of the character that starts at `pos` (pos < text.size()).
std::size_t Utf8CharLengthAt(std::string_view text, std::size_t pos);

std::vector<std::string> SplitUtf8Chars(std::string_view text);
// The byte offset of every character of text, then text.size(): character i
// is text[offsets[i], offsets[i + 1]).
std::vector<std::size_t> Utf8CharOffsets(std::string_view text);
// The same offsets written into `offsets`, which keeps its capacity.
void Utf8CharOffsets(std::string_view text, std::vector<std::size_t>& offsets);
std::size_t CountUtf8Chars(std::string_view text);
// The first min(n, count) characters of text.
std::string TruncateUtf8Chars(std::string_view text, std::size_t n);
// ASCII letters and digits, and "+", "-", ".", "/", "_".
bool IsWordChar(unsigned char byte);
// ASCII letters and digits only.
bool IsAsciiAlnum(unsigned char byte);
// text with A-Z turned into a-z; every other byte as it was.
std::string LowerAscii(std::string text);

}  // namespace quirvel
