#include "host/keyword_list.h"

#include <algorithm>
#include <utility>

#include "conversion/script_conversion.h"
#include "host/utf8.h"
#include "host/word_join.h"

namespace quirvel {
namespace {

// A keyword before its conversion to Taiwan script.
struct KeywordPiece {
  MappedChars mapped;
  const RankedCandidate* ranked = nullptr;
};

bool IsAsciiWordByte(char byte) { return IsWordChar(static_cast<unsigned char>(byte)); }

// Sources for a text of `count` characters made from characters with these
// sources: one for one when the counts agree; otherwise the n-th character
// stands for the n-th source and the last for the last, so a text the
// conversion lengthened or shortened still covers what it was made from.
std::vector<std::size_t> AlignSources(const std::vector<std::size_t>& sources, std::size_t count) {
  if (sources.size() == count || sources.empty() || count == 0) {
    std::vector<std::size_t> aligned = sources;
    aligned.resize(count, kNotFromRequest);
    return aligned;
  }
  std::vector<std::size_t> aligned(count);
  for (std::size_t i = 0; i < count; ++i) aligned[i] = sources[std::min(i, sources.size() - 1)];
  aligned.back() = sources.back();
  return aligned;
}

// The keywords the reply's text is made of, and that text before its
// conversion (what BuildKeywordText returns). When the rebuild fell back to the
// model's keyword text, that text is the join of the chosen keywords, so they
// stand for it with no request character behind them.
struct ReplySource {
  std::vector<KeywordPiece> pieces;
  std::string text;
};

ReplySource CollectReplySource(const ExtractionResult& result, std::int32_t max_len) {
  std::vector<RebuiltKeyword> rebuilt = RebuildKeywords(result, max_len);
  ReplySource source{{}, rebuilt.empty() ? result.keyword_text : JoinRebuiltKeywords(rebuilt)};
  for (RebuiltKeyword& keyword : rebuilt)
    source.pieces.push_back({std::move(keyword.mapped), &result.ranked[keyword.ranked_index]});
  if (!source.pieces.empty()) return source;
  for (const std::size_t index : result.chosen) {
    if (index < result.ranked.size())
      source.pieces.push_back({UnmappedChars(result.ranked[index].text), &result.ranked[index]});
  }
  return source;
}

ReplyKeyword Scored(ReplyKeyword keyword, const RankedCandidate& ranked) {
  keyword.score = ranked.score;
  keyword.kind = ranked.kind;
  return keyword;
}

// Today's keyword text, converted as a whole; the list splits it among the
// keywords, each converted on its own to find its share.
ReplyKeywords ConvertEverything(const ReplySource& source, std::int32_t max_len) {
  const std::string converted = ToTraditional(source.text);
  std::vector<ReplyKeyword> list;
  std::vector<std::string> texts;
  for (const KeywordPiece& piece : source.pieces) {
    list.push_back(Scored(ConvertKeyword(piece.mapped, BackConversion::Everything), *piece.ranked));
    texts.push_back(list.back().text);
  }
  texts = SplitLikePieces(converted, texts);
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (texts[i] == list[i].text) continue;
    list[i].sources = AlignSources(list[i].sources, CountUtf8Chars(texts[i]));
    list[i].text = std::move(texts[i]);
  }
  return {FitToBudget(converted, max_len), CutToBudget(std::move(list), max_len)};
}

// The request's own characters where the titles align: the fallback is the
// start of the normalized title, so it is the start of the request's title.
std::string FallbackText(const ExtractionResult& result, std::int32_t max_len) {
  if (!TitlesAlign(result)) return FitToBudget(ToTraditional(result.keyword_text), max_len);
  return FitToBudget(TruncateUtf8Chars(result.input_title, CountUtf8Chars(result.keyword_text)), max_len);
}

ReplyKeywords KeepRequestCharacters(const ExtractionResult& result, std::int32_t max_len,
                                    const std::vector<KeywordPiece>& pieces) {
  if (pieces.empty()) return {FallbackText(result, max_len), {}};
  std::vector<ReplyKeyword> list;
  for (const KeywordPiece& piece : pieces)
    list.push_back(
        Scored(ConvertKeyword(piece.mapped, BackConversion::OutsideRequestCharacters), *piece.ranked));
  list = CutToBudget(std::move(list), max_len);
  return {JoinReplyKeywords(list), std::move(list)};
}

void CutKeyword(ReplyKeyword& keyword, std::size_t count) {
  keyword.text = TruncateUtf8Chars(keyword.text, count);
  while (!keyword.text.empty() && keyword.text.back() == ' ') keyword.text.pop_back();
  keyword.sources.resize(CountUtf8Chars(keyword.text));
}

}  // namespace

CharSpan SpanOfSources(const std::vector<std::size_t>& sources) {
  CharSpan span;
  for (const std::size_t source : sources) {
    if (source == kNotFromRequest) continue;
    span.start = span.mapped ? std::min(span.start, source) : source;
    span.end = span.mapped ? std::max(span.end, source + 1) : source + 1;
    span.mapped = true;
  }
  return span;
}

ReplyKeywords BuildReplyKeywords(const ExtractionResult& result, std::int32_t max_len,
                                 BackConversion conversion) {
  const ReplySource source = CollectReplySource(result, max_len);
  if (conversion == BackConversion::Everything) return ConvertEverything(source, max_len);
  return KeepRequestCharacters(result, max_len, source.pieces);
}

std::vector<ReplyKeyword> BestRankedKeywords(const ExtractionResult& result, std::size_t count,
                                             BackConversion conversion) {
  const bool aligned = TitlesAlign(result);
  const std::vector<std::string> input_chars =
      aligned ? SplitUtf8Chars(result.input_title) : std::vector<std::string>();
  std::vector<ReplyKeyword> best;
  for (std::size_t i = 0; i < std::min(count, result.ranked.size()); ++i) {
    const RankedCandidate& ranked = result.ranked[i];
    const MappedChars mapped = aligned ? MapSpanToSources(input_chars, result.normalized_title, ranked.start,
                                                          ranked.text, ranked.end)
                                       : UnmappedChars(ranked.text);
    best.push_back(Scored(ConvertKeyword(mapped, conversion), ranked));
  }
  return best;
}

ReplyKeyword ConvertKeyword(const MappedChars& mapped, BackConversion conversion) {
  ReplyKeyword keyword;
  if (conversion == BackConversion::Everything) {
    keyword.text = ToTraditional(JoinChars(mapped.chars));
    keyword.sources = AlignSources(mapped.sources, CountUtf8Chars(keyword.text));
    return keyword;
  }
  for (std::size_t i = 0; i < mapped.chars.size();) {
    if (mapped.sources[i] != kNotFromRequest) {
      keyword.text += mapped.chars[i];
      keyword.sources.push_back(mapped.sources[i++]);
      continue;
    }
    // A run of characters the request did not give is converted in one piece,
    // so a word of the converted text converts as a word.
    std::string run;
    for (; i < mapped.chars.size() && mapped.sources[i] == kNotFromRequest; ++i) run += mapped.chars[i];
    const std::string converted = ToTraditional(run);
    keyword.text += converted;
    keyword.sources.resize(keyword.sources.size() + CountUtf8Chars(converted), kNotFromRequest);
  }
  return keyword;
}

std::vector<std::string> SplitLikePieces(const std::string& whole, const std::vector<std::string>& pieces) {
  std::string joined;
  for (const std::string& piece : pieces) AppendJoined(joined, piece);
  if (joined == whole) return pieces;
  std::vector<std::string> texts;
  std::size_t pos = 0;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    // A blank between two ASCII words is the join's: the joining rule puts it back.
    if (pos > 0 && pos + 1 < whole.size() && whole[pos] == ' ' && IsAsciiWordByte(whole[pos - 1]) &&
        IsAsciiWordByte(whole[pos + 1]))
      ++pos;
    std::size_t end = pos;
    const std::size_t count = i + 1 == pieces.size() ? whole.size() : CountUtf8Chars(pieces[i]);
    for (std::size_t taken = 0; taken < count && end < whole.size(); ++taken)
      end += Utf8CharLengthAt(whole, end);
    while (end > pos && end < whole.size() && IsAsciiWordByte(whole[end - 1]) && IsAsciiWordByte(whole[end]))
      ++end;
    texts.push_back(whole.substr(pos, end - pos));
    pos = end;
  }
  return texts;
}

std::vector<ReplyKeyword> CutToBudget(std::vector<ReplyKeyword> list, std::int32_t max_len) {
  const std::size_t budget = static_cast<std::size_t>(std::max<std::int32_t>(max_len, 0));
  std::vector<ReplyKeyword> kept;
  std::string joined;
  for (ReplyKeyword& keyword : list) {
    if (keyword.text.empty()) continue;
    const std::size_t used = CountUtf8Chars(joined) + (NeedsJoinBlank(joined, keyword.text) ? 1 : 0);
    if (used >= budget) break;
    if (CountUtf8Chars(keyword.text) > budget - used) {
      CutKeyword(keyword, budget - used);
      if (!keyword.text.empty()) kept.push_back(std::move(keyword));
      break;
    }
    AppendJoined(joined, keyword.text);
    kept.push_back(std::move(keyword));
  }
  return kept;
}

std::string JoinReplyKeywords(const std::vector<ReplyKeyword>& list) {
  std::string joined;
  for (const ReplyKeyword& keyword : list) AppendJoined(joined, keyword.text);
  return joined;
}

}  // namespace quirvel
