// The reply's keyword text: the keywords the model chose, rebuilt out of the
// request's own characters, so a seller reads the words as they wrote them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "keywords/keyword_model_types.h"

namespace quirvel {

// The source of a keyword character that is not one of the request's: a
// character of the converted text the rebuild kept, or a join's blank.
constexpr std::size_t kNotFromRequest = std::numeric_limits<std::size_t>::max();

// A keyword's characters as the rebuild made them, and for each the index of
// the request character it was taken from (kNotFromRequest when none).
struct MappedChars {
  std::vector<std::string> chars;
  std::vector<std::size_t> sources;
};

// One keyword of the reply's keyword text: the ranked candidate it is, whether
// a join blank stands before it, and its characters.
struct RebuiltKeyword {
  std::size_t ranked_index = 0;
  bool blank_before = false;
  MappedChars mapped;
};

// The characters of `keyword` with no request character behind any of them.
MappedChars UnmappedChars(const std::string& keyword);
std::string JoinChars(const std::vector<std::string>& chars);

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

// The keywords the model's join chose, each rebuilt with MapSpanToInput and
// joined by the same rule, within max_len characters. The model's keyword
// text when the request and normalized titles differ in length or nothing
// is rebuilt.
std::string BuildKeywordText(const ExtractionResult& result, std::int32_t max_len);
// The keywords BuildKeywordText joins, in its order; empty when it falls back
// to the model's keyword text.
std::vector<RebuiltKeyword> RebuildKeywords(const ExtractionResult& result, std::int32_t max_len);
// Their characters, with the join blanks the rebuild decided.
std::string JoinRebuiltKeywords(const std::vector<RebuiltKeyword>& rebuilt);
// Whether the request's and the normalized title's characters stand one for
// one, which every rebuild onto the request's characters relies on.
bool TitlesAlign(const ExtractionResult& result);

// The back-conversion can lengthen a text (a Simplified word may become a
// longer Taiwanese one): the parent's limit still holds, so a keyword text
// that grew past max_len characters is cut to it, without a trailing blank.
std::string FitToBudget(const std::string& keywords, std::int32_t max_len);

}  // namespace quirvel
