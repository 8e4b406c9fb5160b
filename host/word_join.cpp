#include "host/word_join.h"

#include "host/utf8.h"

namespace quirvel {
namespace {

// IsWordChar is false for every byte of 0x80 and above, so this is an ASCII word byte.
bool IsAsciiWordByte(char c) { return IsWordChar(static_cast<unsigned char>(c)); }

}  // namespace

bool NeedsJoinBlank(std::string_view left, std::string_view right) {
  return !left.empty() && !right.empty() && IsAsciiWordByte(left.back()) && IsAsciiWordByte(right.front());
}

void AppendJoined(std::string& out, std::string_view piece) {
  if (NeedsJoinBlank(out, piece)) out += ' ';
  out += piece;
}

}  // namespace quirvel
