// The one joining rule of keyword texts: two ASCII words are kept apart by one
// blank ("iPhone15 Pro", not "iPhone15Pro"); Chinese words, and a Chinese word
// next to an ASCII one, join without a blank. Phrases, the keyword model's
// joins and the reply's rebuild all join through it, so their lengths agree.
#pragma once

#include <string>
#include <string_view>

namespace quirvel {

// True when `left` and `right` are both non-empty and the last byte of `left`
// and the first byte of `right` are ASCII word characters (IsWordChar).
bool NeedsJoinBlank(std::string_view left, std::string_view right);
// Appends `piece` to `out`, with the blank in front when NeedsJoinBlank says so.
void AppendJoined(std::string& out, std::string_view piece);

}  // namespace quirvel
