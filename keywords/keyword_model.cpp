// Placeholder until the keyword model lands: no client, fallback keyword text.
#include "keywords/keyword_model.h"

#include "conversion/script_conversion.h"
#include "host/utf8.h"

namespace quirvel {
KeywordModelPtr CreateKeywordModel(const KeywordModelConfig&) { return std::make_unique<JiebaKeywordModel>(); }
void DestroyKeywordModel(KeywordModelPtr) {}
bool IsModelReady(const JiebaKeywordModel*) { return false; }
std::string ModelLastError(const JiebaKeywordModel* model) {
  return model ? "EmbedCore engine is not initialized" : "JiebaKeywordModel is null";
}
std::uint64_t CandidateCacheHits(const JiebaKeywordModel*) { return 0; }
std::uint64_t CandidateCacheMisses(const JiebaKeywordModel*) { return 0; }
std::uint64_t CandidateCacheSize(const JiebaKeywordModel*) { return 0; }
std::int32_t ModelDimension(const JiebaKeywordModel*) { return 0; }
ExtractionResult PrepareExtraction(const std::string& title, std::size_t max_len) {
  ExtractionResult r;
  r.input_title = title;
  r.normalized_title = NormalizeScript(title);
  r.keyword_text = TruncateUtf8Chars(r.normalized_title, max_len);
  r.keyword_length = CountUtf8Chars(r.keyword_text);
  return r;
}
ExtractionResult Extract(JiebaKeywordModel*, const std::string& title, std::size_t max_len) {
  return PrepareExtraction(title, max_len);
}
std::string JoinRankedTexts(const std::vector<std::string>&, const std::string& t, std::size_t n) {
  return TruncateUtf8Chars(t, n);
}
void JoinRankedSpans(ExtractionResult&, const std::vector<RankedCandidate>&, std::size_t) {}
}  // namespace quirvel
