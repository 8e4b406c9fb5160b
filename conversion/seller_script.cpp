#include "conversion/seller_script.h"

#include <algorithm>
#include <string_view>

#include "host/utf8.h"

namespace quirvel {

namespace {

// The characters of `text` that are not ASCII, as views into it.
std::vector<std::string_view> NonAsciiChars(std::string_view text) {
  std::vector<std::string_view> chars;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t length = Utf8CharLengthAt(text, pos);
    if (static_cast<unsigned char>(text[pos]) >= 0x80) chars.push_back(text.substr(pos, length));
    pos += length;
  }
  return chars;
}

}  // namespace

// Only characters that are not ASCII are looked up, and such a character can
// only equal one that is not ASCII either, so the normalized title's ASCII
// stays out of the sorted list.
ScriptClues FindScriptClues(const std::string& request_title, const std::string& normalized_title) {
  std::vector<std::string_view> normalized = NonAsciiChars(normalized_title);
  std::sort(normalized.begin(), normalized.end());
  ScriptClues clues;
  for (const std::string_view ch : NonAsciiChars(request_title)) {
    if (!std::binary_search(normalized.begin(), normalized.end(), ch)) {
      ++clues.traditional_only;
      continue;
    }
    const auto known = std::find(clues.kept.begin(), clues.kept.end(), ch);
    if (known != clues.kept.end()) {
      ++clues.kept_counts[static_cast<std::size_t>(known - clues.kept.begin())];
      continue;
    }
    clues.kept.emplace_back(ch);
    clues.kept_counts.push_back(1);
  }
  return clues;
}

bool WrittenInSimplified(const ScriptClues& clues, const std::vector<std::string>& kept_alone) {
  std::size_t simplified = 0;
  for (std::size_t i = 0; i < clues.kept.size() && i < kept_alone.size(); ++i)
    if (kept_alone[i] != clues.kept[i]) simplified += clues.kept_counts[i];
  return simplified > clues.traditional_only;
}

}  // namespace quirvel
