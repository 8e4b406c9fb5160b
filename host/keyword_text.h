// Where a keyword stands in the request's own title. The keyword model works on
// the normalized title; a keyword found there is walked back onto the title as
// the seller wrote it, so the reply can give the seller's own characters and
// point at them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace quirvel {

// The source of a keyword character that is not one of the request's: a
// character the span lacks, or a join's blank.
constexpr std::size_t kNotFromRequest = std::numeric_limits<std::size_t>::max();

// A keyword's characters, and for each the index of the request character it
// was taken from (kNotFromRequest when none).
struct MappedChars {
  std::vector<std::string> chars;
  std::vector<std::size_t> sources;
};

// The characters of `keyword` with no request character behind any of them.
MappedChars UnmappedChars(const std::string& keyword);
std::string JoinChars(const std::vector<std::string>& chars);

// Whether the request's and the normalized title's characters stand one for
// one, which every walk onto the request's characters relies on.
bool TitlesAlign(const std::string& input_title, const std::string& normalized_title);

// What MapSpanToInput returns, character by character with its source.
MappedChars MapSpanToSources(const std::vector<std::string>& input_chars, const std::string& normalized_title,
                             std::uint64_t offset, const std::string& keyword, std::uint64_t end = 0);

// The request's characters for `keyword`, whose span in the normalized title
// starts at byte `offset` and ends before byte `end` (end <= offset: the span
// runs to the end of the title). Each character of the keyword is found by
// walking the span in order, and the request's character at the same position
// is taken; a blank the keyword's join put in stays one blank, and title
// characters the keyword skipped (separators, a dropped repeat) are not copied.
// The keyword itself when its start lies beyond the request's characters.
std::string MapSpanToInput(const std::vector<std::string>& input_chars, const std::string& normalized_title,
                           std::uint64_t offset, const std::string& keyword, std::uint64_t end = 0);

}  // namespace quirvel
