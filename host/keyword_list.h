// The extract reply's texts in Taiwan script, built on one road: the title,
// the keyword text, each keyword of it with its score, kind and the request
// characters it stands on, and the best ranked candidates in the same form.
// The keyword model's join already chose the keywords, their blanks and their
// places in the request's title; here they are only converted, all in one
// conversion, and cut to the budget when the conversion lengthened them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/keyword_text.h"
#include "keywords/keyword_model_types.h"

namespace quirvel {

// One keyword as the reply shows it.
struct ReplyKeyword {
  std::string text;
  // Per character of `text`: the index of the request character behind it, or
  // kNotFromRequest (a converted character, a join's blank).
  std::vector<std::size_t> sources;
  float score = 0.0f;
  std::string kind;
};

// The request characters a keyword covers: [start, end) in characters of the
// request's title. Absent (`mapped` false) when no character of it is the
// request's.
struct CharSpan {
  bool mapped = false;
  std::size_t start = 0;
  std::size_t end = 0;
};
CharSpan SpanOfSources(const std::vector<std::size_t>& sources);

// How the reply's texts come back in Taiwan script.
enum class BackConversion {
  // The worker's default: a title the seller wrote in Traditional script comes
  // back as written, its keywords in its characters (a character the request
  // lacks converted); a title written in Simplified script as with Everything.
  // Which script a title was written in: WrittenInSimplified.
  SellerScript,
  // "--back-convert-everything": the title and the keyword text, rebuilt on
  // the request's characters, are converted with s2twp as a whole.
  Everything,
  // "--keep-request-characters": the title as with Everything; of the
  // keywords only what was not taken from the request is converted, so a
  // Simplified character the seller wrote stays Simplified.
  OutsideRequestCharacters,
};

struct ReplyTexts {
  std::string title;
  std::string keywords;
  // One entry per keyword of `keywords`, in its order: their texts joined by
  // the one joining rule are `keywords`. Empty when it is the fallback.
  std::vector<ReplyKeyword> list;
  std::vector<ReplyKeyword> ranked;  // the best `top` ranked candidates
};

// The reply's texts for `result`, converted in one conversion (it loads its
// dictionaries on every call unless the converters are kept). `top`: how many
// of the best ranked candidates to give (0: none).
ReplyTexts BuildReplyTexts(const ExtractionResult& result, std::int32_t max_len, BackConversion conversion,
                           std::size_t top);

// The keyword text in the request's characters: the chosen keywords' places
// joined with the blanks the join put between them; the model's keyword text
// when nothing was chosen.
std::string BuildKeywordText(const ExtractionResult& result);

// Splits `whole` (the keywords converted in one piece) into one text per
// entry of `pieces` (the same keywords converted one by one), so that the
// texts joined by the one joining rule are `whole` again. The pieces
// themselves when they already join to it; otherwise each takes as many
// characters as its piece has, and a boundary never falls inside an ASCII word.
std::vector<std::string> SplitLikePieces(const std::string& whole, const std::vector<std::string>& pieces);

// The back-conversion can lengthen a text (a Simplified word may become a
// longer Taiwanese one) while the parent's limit still holds: entries past
// max_len characters, their join blanks counted, are dropped and the one that
// crosses it is cut, without a trailing blank (dropped when nothing is left).
std::vector<ReplyKeyword> CutToBudget(std::vector<ReplyKeyword> list, std::int32_t max_len);
// One text cut as CutToBudget cuts a list of it alone.
std::string FitToBudget(const std::string& text, std::int32_t max_len);

// The texts of the list joined by the one joining rule.
std::string JoinReplyKeywords(const std::vector<ReplyKeyword>& list);

}  // namespace quirvel
