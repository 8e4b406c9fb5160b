#include "host/keyword_list.h"

#include <algorithm>
#include <utility>

#include "conversion/script_conversion.h"
#include "host/utf8.h"
#include "host/word_join.h"

namespace quirvel {
namespace {

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

// Texts gathered for one conversion to Taiwan script. The conversion opens its
// dictionaries on every call, so a reply converts all its texts in one call,
// joined by line feeds: no conversion phrase holds one, so each text converts
// exactly as it would alone. A text holding a line feed is converted alone.
class ConversionBatch {
 public:
  std::size_t Add(std::string text) {
    texts_.push_back(std::move(text));
    return texts_.size() - 1;
  }

  void Convert() {
    if (texts_.empty()) return;
    std::string joined;
    for (std::size_t i = 0; i < texts_.size(); ++i) {
      if (texts_[i].find('\n') != std::string::npos) return ConvertOneByOne();
      joined += (i == 0 ? "" : "\n") + texts_[i];
    }
    std::vector<std::string> converted = SplitLines(ToTraditional(joined));
    if (converted.size() != texts_.size()) return ConvertOneByOne();
    texts_ = std::move(converted);
  }

  const std::string& operator[](std::size_t index) const { return texts_[index]; }

 private:
  static std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines(1);
    for (const char byte : text) {
      if (byte == '\n') {
        lines.emplace_back();
      } else {
        lines.back() += byte;
      }
    }
    return lines;
  }

  void ConvertOneByOne() {
    for (std::string& text : texts_) text = ToTraditional(text);
  }

  std::vector<std::string> texts_;
};

// How one keyword's text is made: characters kept from the request, and texts
// the batch converts (the whole keyword, or each run the request did not give).
struct KeywordPlan {
  struct Part {
    std::string kept;
    std::size_t source = kNotFromRequest;
    std::size_t converted = 0;  // index into the batch when `kept` is empty
  };
  std::vector<Part> parts;
  bool converted_whole = false;
  std::vector<std::size_t> sources;  // the whole keyword's, when converted whole
  const RankedCandidate* ranked = nullptr;
};

KeywordPlan PlanKeyword(const MappedChars& mapped, BackConversion conversion, ConversionBatch& batch) {
  KeywordPlan plan;
  if (conversion == BackConversion::Everything) {
    plan.parts.push_back({{}, kNotFromRequest, batch.Add(JoinChars(mapped.chars))});
    plan.converted_whole = true;
    plan.sources = mapped.sources;
    return plan;
  }
  for (std::size_t i = 0; i < mapped.chars.size();) {
    if (mapped.sources[i] != kNotFromRequest) {
      plan.parts.push_back({mapped.chars[i], mapped.sources[i], 0});
      ++i;
      continue;
    }
    // A run of characters the request did not give converts in one piece, so
    // a word of the converted text converts as a word.
    std::string run;
    for (; i < mapped.chars.size() && mapped.sources[i] == kNotFromRequest; ++i) run += mapped.chars[i];
    plan.parts.push_back({{}, kNotFromRequest, batch.Add(std::move(run))});
  }
  return plan;
}

ReplyKeyword AssembleKeyword(const KeywordPlan& plan, const ConversionBatch& batch) {
  ReplyKeyword keyword;
  for (const KeywordPlan::Part& part : plan.parts) {
    const std::string& text = part.kept.empty() ? batch[part.converted] : part.kept;
    keyword.text += text;
    keyword.sources.resize(keyword.sources.size() + CountUtf8Chars(text), part.source);
  }
  if (plan.converted_whole) keyword.sources = AlignSources(plan.sources, keyword.sources.size());
  if (plan.ranked != nullptr) {
    keyword.score = plan.ranked->score;
    keyword.kind = plan.ranked->kind;
  }
  return keyword;
}

std::vector<ReplyKeyword> AssembleKeywords(const std::vector<KeywordPlan>& plans,
                                           const ConversionBatch& batch) {
  std::vector<ReplyKeyword> keywords;
  keywords.reserve(plans.size());
  for (const KeywordPlan& plan : plans) keywords.push_back(AssembleKeyword(plan, batch));
  return keywords;
}

// The keywords the reply's text is made of, planned into the batch. When the
// rebuild fell back to the model's keyword text, that text is the join of the
// chosen keywords, so they stand for it with no request character behind them.
std::vector<KeywordPlan> PlanReplyPieces(const ExtractionResult& result,
                                         const std::vector<RebuiltKeyword>& rebuilt,
                                         BackConversion conversion, ConversionBatch& batch) {
  std::vector<KeywordPlan> plans;
  for (const RebuiltKeyword& keyword : rebuilt) {
    plans.push_back(PlanKeyword(keyword.mapped, conversion, batch));
    plans.back().ranked = &result.ranked[keyword.ranked_index];
  }
  if (!plans.empty()) return plans;
  for (const std::size_t index : result.chosen) {
    if (index >= result.ranked.size()) continue;
    plans.push_back(PlanKeyword(UnmappedChars(result.ranked[index].text), conversion, batch));
    plans.back().ranked = &result.ranked[index];
  }
  return plans;
}

// The first `count` ranked candidates, rebuilt onto the request's characters
// where the titles align, planned into the batch.
std::vector<KeywordPlan> PlanBestRanked(const ExtractionResult& result, std::size_t count,
                                        BackConversion conversion, ConversionBatch& batch) {
  const bool aligned = TitlesAlign(result);
  const std::vector<std::string> input_chars =
      aligned ? SplitUtf8Chars(result.input_title) : std::vector<std::string>();
  std::vector<KeywordPlan> plans;
  for (std::size_t i = 0; i < std::min(count, result.ranked.size()); ++i) {
    const RankedCandidate& ranked = result.ranked[i];
    plans.push_back(PlanKeyword(aligned ? MapSpanToSources(input_chars, result.normalized_title, ranked.start,
                                                           ranked.text, ranked.end)
                                        : UnmappedChars(ranked.text),
                                conversion, batch));
    plans.back().ranked = &ranked;
  }
  return plans;
}

// Today's keyword text, converted as a whole; the list splits it among the
// keywords, each converted on its own to find its share.
ReplyKeywords SplitConvertedText(const std::string& converted, std::vector<ReplyKeyword> list,
                                 std::int32_t max_len) {
  std::vector<std::string> texts;
  texts.reserve(list.size());
  for (const ReplyKeyword& keyword : list) texts.push_back(keyword.text);
  texts = SplitLikePieces(converted, texts);
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (texts[i] == list[i].text) continue;
    list[i].sources = AlignSources(list[i].sources, CountUtf8Chars(texts[i]));
    list[i].text = std::move(texts[i]);
  }
  return {FitToBudget(converted, max_len), CutToBudget(std::move(list), max_len)};
}

// The fallback is the start of the normalized title; where the titles align
// it is the start of the request's title, in the seller's own characters.
bool FallbackInRequestCharacters(const ExtractionResult& result) { return TitlesAlign(result); }

std::string RequestFallbackText(const ExtractionResult& result, std::int32_t max_len) {
  return FitToBudget(TruncateUtf8Chars(result.input_title, CountUtf8Chars(result.keyword_text)), max_len);
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

ReplyConversion::ReplyConversion(const ExtractionResult& result, std::int32_t max_len,
                                 BackConversion conversion, std::size_t top) {
  ConversionBatch batch;
  const std::size_t title = batch.Add(result.normalized_title);
  const std::vector<RebuiltKeyword> rebuilt = RebuildKeywords(result, max_len);
  const std::string keyword_text = rebuilt.empty() ? result.keyword_text : JoinRebuiltKeywords(rebuilt);
  const std::vector<KeywordPlan> pieces = PlanReplyPieces(result, rebuilt, conversion, batch);
  const bool keep = conversion == BackConversion::OutsideRequestCharacters;
  const bool request_fallback = keep && pieces.empty() && FallbackInRequestCharacters(result);
  const bool needs_whole = !keep || (pieces.empty() && !request_fallback);
  const std::size_t whole = needs_whole ? batch.Add(keyword_text) : 0;
  const std::vector<KeywordPlan> ranked = PlanBestRanked(result, top, conversion, batch);
  batch.Convert();
  title_ = batch[title];
  ranked_ = AssembleKeywords(ranked, batch);
  std::vector<ReplyKeyword> list = AssembleKeywords(pieces, batch);
  if (!keep) {
    keywords_ = SplitConvertedText(batch[whole], std::move(list), max_len);
  } else if (!pieces.empty()) {
    keywords_.list = CutToBudget(std::move(list), max_len);
    keywords_.text = JoinReplyKeywords(keywords_.list);
  } else {
    keywords_.text =
        request_fallback ? RequestFallbackText(result, max_len) : FitToBudget(batch[whole], max_len);
  }
}

std::vector<ReplyKeyword> ConvertKeywords(const std::vector<const MappedChars*>& keywords,
                                          BackConversion conversion) {
  ConversionBatch batch;
  std::vector<KeywordPlan> plans;
  plans.reserve(keywords.size());
  for (const MappedChars* mapped : keywords) plans.push_back(PlanKeyword(*mapped, conversion, batch));
  batch.Convert();
  return AssembleKeywords(plans, batch);
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
