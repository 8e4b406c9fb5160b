// The reply's keyword text: the keywords the model chose, rebuilt out of the
// request's own characters, so a seller reads the words as they wrote them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "keywords/keyword_model_types.h"

namespace quirvel {

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

// The back-conversion can lengthen a text (a Simplified word may become a
// longer Taiwanese one): the parent's limit still holds, so a keyword text
// that grew past max_len characters is cut to it, without a trailing blank.
std::string FitToBudget(const std::string& keywords, std::int32_t max_len);

}  // namespace quirvel
