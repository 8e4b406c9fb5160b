// The one joining rule of keyword texts, and the one budget they are joined
// within. Two ASCII words are kept apart by one blank ("iPhone15 Pro", not
// "iPhone15Pro"); Chinese words, and a Chinese word next to an ASCII one, join
// without a blank. Phrases, the keyword model's join and the reply's cut all
// join through these, so their lengths agree.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quirvel {

// True when `left` and `right` are both non-empty and the last byte of `left`
// and the first byte of `right` are ASCII word characters (IsWordChar).
bool NeedsJoinBlank(std::string_view left, std::string_view right);
// Appends `piece` to `out`, with the blank in front when NeedsJoinBlank says so.
void AppendJoined(std::string& out, std::string_view piece);

// What a budget of max_len characters leaves for `piece` after `text`.
struct JoinRoom {
  bool full = false;           // `text` already holds max_len characters or more
  std::size_t characters = 0;  // how many characters of `piece` fit, its join blank counted first
};
JoinRoom RoomAfter(std::string_view text, std::string_view piece, std::size_t max_len);

}  // namespace quirvel
