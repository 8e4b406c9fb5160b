#include "host/keyword_list.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "conversion/script_conversion.h"
#include "conversion/seller_script.h"
#include "host/utf8.h"
#include "host/word_join.h"

namespace quirvel {
namespace {

bool IsAsciiWordByte(char byte) { return IsWordChar(static_cast<unsigned char>(byte)); }

std::size_t Budget(std::int32_t max_len) { return static_cast<std::size_t>(std::max<std::int32_t>(max_len, 0)); }

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

KeywordPlan PlanKeyword(const MappedChars& mapped, bool convert_whole, const RankedCandidate* ranked,
                        ConversionBatch& batch) {
  KeywordPlan plan;
  plan.ranked = ranked;
  if (convert_whole) {
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

std::vector<ReplyKeyword> AssembleKeywords(const std::vector<KeywordPlan>& plans, const ConversionBatch& batch) {
  std::vector<ReplyKeyword> keywords;
  keywords.reserve(plans.size());
  for (const KeywordPlan& plan : plans) keywords.push_back(AssembleKeyword(plan, batch));
  return keywords;
}

// The keyword text converted as a whole, split among its keywords, each
// converted on its own to find its share.
std::vector<ReplyKeyword> SplitConvertedText(const std::string& converted, std::vector<ReplyKeyword> list) {
  std::vector<std::string> texts;
  texts.reserve(list.size());
  for (const ReplyKeyword& keyword : list) texts.push_back(keyword.text);
  texts = SplitLikePieces(converted, texts);
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (texts[i] == list[i].text) continue;
    list[i].sources = AlignSources(list[i].sources, CountUtf8Chars(texts[i]));
    list[i].text = std::move(texts[i]);
  }
  return list;
}

// The fallback (the start of the normalized title) where the titles align:
// the start of the request's title, in the seller's own characters.
MappedChars RequestFallback(const ExtractionResult& result) {
  MappedChars fallback;
  fallback.chars = SplitUtf8Chars(result.input_title);
  fallback.chars.resize(std::min(fallback.chars.size(), CountUtf8Chars(result.keyword_text)));
  for (std::size_t i = 0; i < fallback.chars.size(); ++i) fallback.sources.push_back(i);
  return fallback;
}

// What one way of converting makes of an extraction, planned into a batch
// that other plans may share, and assembled once the batch is converted.
class ReplyPlan {
 public:
  ReplyPlan(const ExtractionResult& result, std::int32_t max_len, bool convert_whole, std::size_t top,
            ConversionBatch& batch)
      : max_len_(max_len),
        convert_whole_(convert_whole),
        fallback_(result.chosen.empty()),
        aligned_(TitlesAlign(result.input_title, result.normalized_title)) {
    if (convert_whole_) whole_ = batch.Add(BuildKeywordText(result));
    for (const ChosenKeyword& keyword : result.chosen) {
      if (keyword.ranked_index >= result.ranked.size()) continue;
      keywords_.push_back(
          PlanKeyword(keyword.in_request, convert_whole_, &result.ranked[keyword.ranked_index], batch));
    }
    if (fallback_ && !convert_whole_) {
      keywords_.push_back(PlanKeyword(aligned_ ? RequestFallback(result) : UnmappedChars(result.keyword_text),
                                      false, nullptr, batch));
    }
    PlanBestRanked(result, top, batch);
  }

  ReplyTexts Assemble(const ConversionBatch& batch, std::string title) const {
    ReplyTexts texts;
    texts.title = std::move(title);
    texts.ranked = AssembleKeywords(ranked_, batch);
    std::vector<ReplyKeyword> list = AssembleKeywords(keywords_, batch);
    if (convert_whole_) {
      texts.keywords = FitToBudget(batch[whole_], max_len_);
      if (!fallback_) texts.list = CutToBudget(SplitConvertedText(batch[whole_], std::move(list)), max_len_);
    } else if (fallback_) {
      texts.keywords = FitToBudget(list.front().text, max_len_);
    } else {
      texts.list = CutToBudget(std::move(list), max_len_);
      texts.keywords = JoinReplyKeywords(texts.list);
    }
    return texts;
  }

 private:
  // The first `count` ranked candidates, walked onto the request's characters
  // where the titles align.
  void PlanBestRanked(const ExtractionResult& result, std::size_t count, ConversionBatch& batch) {
    const std::vector<std::string> input_chars =
        aligned_ && count > 0 ? SplitUtf8Chars(result.input_title) : std::vector<std::string>();
    for (std::size_t i = 0; i < std::min(count, result.ranked.size()); ++i) {
      const RankedCandidate& ranked = result.ranked[i];
      ranked_.push_back(PlanKeyword(aligned_ ? MapSpanToSources(input_chars, result.normalized_title,
                                                               ranked.start, ranked.text, ranked.end)
                                            : UnmappedChars(ranked.text),
                                    convert_whole_, &ranked, batch));
    }
  }

  std::int32_t max_len_;
  bool convert_whole_;
  bool fallback_;
  bool aligned_;  // the request's and the normalized title's characters stand one for one
  std::size_t whole_ = 0;
  std::vector<KeywordPlan> keywords_;  // the chosen keywords, or the fallback alone
  std::vector<KeywordPlan> ranked_;
};

// Where the reply's title comes from.
enum class ReplyTitle { Converted, AsWritten };

ReplyTexts BuildOneWay(const ExtractionResult& result, std::int32_t max_len, bool convert_whole, std::size_t top,
                       ReplyTitle reply_title) {
  ConversionBatch batch;
  const bool convert_title = reply_title == ReplyTitle::Converted;
  const std::size_t title = convert_title ? batch.Add(result.normalized_title) : 0;
  const ReplyPlan plan(result, max_len, convert_whole, top, batch);
  batch.Convert();
  return plan.Assemble(batch, convert_title ? batch[title] : result.input_title);
}

// Both ways are planned, and the title's script clues converted alone, in the
// one conversion; the clues then choose the way.
ReplyTexts BuildBothWaysInOneConversion(const ExtractionResult& result, const ScriptClues& clues,
                                        std::int32_t max_len, std::size_t top) {
  ConversionBatch batch;
  const std::size_t first_clue = clues.kept.empty() ? 0 : batch.Add(clues.kept.front());
  for (std::size_t i = 1; i < clues.kept.size(); ++i) batch.Add(clues.kept[i]);
  const std::size_t title = batch.Add(result.normalized_title);
  const ReplyPlan converted(result, max_len, true, top, batch);
  const ReplyPlan seller(result, max_len, false, top, batch);
  batch.Convert();
  std::vector<std::string> kept_alone;
  for (std::size_t i = 0; i < clues.kept.size(); ++i) kept_alone.push_back(batch[first_clue + i]);
  if (WrittenInSimplified(clues, kept_alone)) return converted.Assemble(batch, batch[title]);
  return seller.Assemble(batch, result.input_title);
}

// With the converters kept, the clues' characters come from what the kept
// converter remembers, so the way is chosen before anything is converted and
// only its texts are: a title in Traditional script whose keywords are all its
// own characters converts nothing. Otherwise every conversion would open the
// dictionaries again, so both ways share one.
ReplyTexts BuildInSellerScript(const ExtractionResult& result, std::int32_t max_len, std::size_t top) {
  const ScriptClues clues = FindScriptClues(result.input_title, result.normalized_title);
  const std::optional<std::vector<std::string>> kept_alone = RememberedToTraditional(clues.kept);
  if (!kept_alone) return BuildBothWaysInOneConversion(result, clues, max_len, top);
  if (WrittenInSimplified(clues, *kept_alone)) return BuildOneWay(result, max_len, true, top, ReplyTitle::Converted);
  return BuildOneWay(result, max_len, false, top, ReplyTitle::AsWritten);
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

ReplyTexts BuildReplyTexts(const ExtractionResult& result, std::int32_t max_len, BackConversion conversion,
                           std::size_t top) {
  switch (conversion) {
    case BackConversion::SellerScript:
      return BuildInSellerScript(result, max_len, top);
    case BackConversion::Everything:
      return BuildOneWay(result, max_len, true, top, ReplyTitle::Converted);
    case BackConversion::OutsideRequestCharacters:
      break;
  }
  return BuildOneWay(result, max_len, false, top, ReplyTitle::Converted);
}

std::string BuildKeywordText(const ExtractionResult& result) {
  if (result.chosen.empty()) return result.keyword_text;
  std::string text;
  for (const ChosenKeyword& keyword : result.chosen) {
    if (keyword.blank_before) text += ' ';
    text += JoinChars(keyword.in_request.chars);
  }
  return text;
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
  std::vector<ReplyKeyword> kept;
  std::string joined;
  for (ReplyKeyword& keyword : list) {
    if (keyword.text.empty()) continue;
    const JoinRoom room = RoomAfter(joined, keyword.text, Budget(max_len));
    if (room.characters == 0) break;
    if (CountUtf8Chars(keyword.text) > room.characters) {
      keyword.text = TruncateUtf8Chars(keyword.text, room.characters);
      while (!keyword.text.empty() && keyword.text.back() == ' ') keyword.text.pop_back();
      keyword.sources.resize(CountUtf8Chars(keyword.text));
      if (!keyword.text.empty()) kept.push_back(std::move(keyword));
      break;
    }
    AppendJoined(joined, keyword.text);
    kept.push_back(std::move(keyword));
  }
  return kept;
}

std::string FitToBudget(const std::string& text, std::int32_t max_len) {
  return JoinReplyKeywords(CutToBudget({ReplyKeyword{text, {}, 0.0f, {}}}, max_len));
}

std::string JoinReplyKeywords(const std::vector<ReplyKeyword>& list) {
  std::string joined;
  for (const ReplyKeyword& keyword : list) AppendJoined(joined, keyword.text);
  return joined;
}

}  // namespace quirvel
