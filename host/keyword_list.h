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

// The reply's keywords within max_len characters. With Everything the text is
// the rebuilt keyword text converted as a whole, so it does not depend on
// whether the list is asked for.
ReplyKeywords BuildReplyKeywords(const ExtractionResult& result, std::int32_t max_len,
                                 BackConversion conversion);

// The first `count` ranked candidates, best first, each rebuilt onto the
// request's characters where the titles align, and converted as `conversion` says.
std::vector<ReplyKeyword> BestRankedKeywords(const ExtractionResult& result, std::size_t count,
                                             BackConversion conversion);

// Converts one rebuilt keyword to Taiwan script as `conversion` says; the
// sources follow the characters.
ReplyKeyword ConvertKeyword(const MappedChars& mapped, BackConversion conversion);

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
