// The chosen keywords as data: each keyword of the reply's "keywords" with its
// score, kind and the request characters it was rebuilt from, and the best
// ranked candidates in the same form, so a parent can tag or highlight them.
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

// How the back-conversion to Taiwan script treats the rebuilt keywords.
enum class BackConversion {
  // The whole keyword text is converted, the request's characters included.
  Everything,
  // Only what the rebuild did not take from the request is converted.
  OutsideRequestCharacters,
};

// The reply's "keywords" and, one entry per keyword in the same order, its
// list; the list's texts joined by the one joining rule are the keywords.
struct ReplyKeywords {
  std::string text;
  std::vector<ReplyKeyword> list;
};

// An extract reply's texts in Taiwan script: its title, its keywords with
// their list, and its best ranked candidates, all converted in one call (the
// conversion loads its dictionaries on every call). With Everything the
// keywords are the rebuilt keyword text converted as a whole, as a reply
// without the list has them.
class ReplyConversion {
 public:
  // `top`: how many of the best ranked candidates to convert (0: none).
  ReplyConversion(const ExtractionResult& result, std::int32_t max_len, BackConversion conversion,
                  std::size_t top);

  const std::string& Title() const { return title_; }
  const ReplyKeywords& Keywords() const { return keywords_; }
  const std::vector<ReplyKeyword>& Ranked() const { return ranked_; }

 private:
  std::string title_;
  ReplyKeywords keywords_;
  std::vector<ReplyKeyword> ranked_;
};

// Converts rebuilt keywords to Taiwan script as `conversion` says, in one
// conversion for all of them; the sources follow the characters.
std::vector<ReplyKeyword> ConvertKeywords(const std::vector<const MappedChars*>& keywords,
                                          BackConversion conversion);

// Splits `whole` (the keywords converted in one piece) into one text per
// entry of `pieces` (the same keywords converted one by one), so that the
// texts joined by the one joining rule are `whole` again. The pieces
// themselves when they already join to it; otherwise each takes as many
// characters as its piece has, and a boundary never falls inside an ASCII word.
std::vector<std::string> SplitLikePieces(const std::string& whole, const std::vector<std::string>& pieces);

// Cuts the list as FitToBudget cuts its joined text: entries past max_len are
// dropped and the one that crosses it is cut (dropped when nothing is left).
std::vector<ReplyKeyword> CutToBudget(std::vector<ReplyKeyword> list, std::int32_t max_len);

// The texts of the list joined by the one joining rule.
std::string JoinReplyKeywords(const std::vector<ReplyKeyword>& list);

}  // namespace quirvel
