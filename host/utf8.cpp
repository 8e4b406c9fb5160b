#include "host/utf8.h"

namespace quirvel {

std::size_t Utf8CharLengthAt(std::string_view text, std::size_t pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  std::size_t length = 1;
  if (lead >= 0xC0 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF7) {
    length = 4;
  }
  // A character cut by the end of the text is its lead byte alone.
  return length <= text.size() - pos ? length : 1;
}

std::vector<std::string> SplitUtf8Chars(std::string_view text) {
  std::vector<std::string> chars;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t length = Utf8CharLengthAt(text, pos);
    chars.emplace_back(text.substr(pos, length));
    pos += length;
  }
  return chars;
}

std::vector<std::size_t> Utf8CharOffsets(std::string_view text) {
  std::vector<std::size_t> offsets;
  Utf8CharOffsets(text, offsets);
  return offsets;
}

void Utf8CharOffsets(std::string_view text, std::vector<std::size_t>& offsets) {
  offsets.clear();
  offsets.reserve(text.size() + 1);  // at most one character per byte, and the end
  for (std::size_t pos = 0; pos < text.size(); pos += Utf8CharLengthAt(text, pos)) offsets.push_back(pos);
  offsets.push_back(text.size());
}

std::size_t CountUtf8Chars(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t pos = 0; pos < text.size(); pos += Utf8CharLengthAt(text, pos)) ++count;
  return count;
}

std::string TruncateUtf8Chars(std::string_view text, std::size_t n) {
  std::size_t pos = 0;
  for (std::size_t taken = 0; taken < n && pos < text.size(); ++taken) pos += Utf8CharLengthAt(text, pos);
  return std::string(text.substr(0, pos));
}

bool IsWordChar(unsigned char byte) {
  return IsAsciiAlnum(byte) || byte == '+' || byte == '-' || byte == '.' || byte == '/' || byte == '_';
}

bool IsAsciiAlnum(unsigned char byte) {
  return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9');
}

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace quirvel
