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

JoinRoom RoomAfter(std::string_view text, std::string_view piece, std::size_t max_len) {
  const std::size_t used = CountUtf8Chars(text);
  const std::size_t taken = used + (NeedsJoinBlank(text, piece) ? 1 : 0);
  return {used >= max_len, taken >= max_len ? 0 : max_len - taken};
}

}  // namespace quirvel
