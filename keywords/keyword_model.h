// The keyword model: one extraction from a title to its keyword text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "keywords/keyword_model_types.h"

namespace quirvel {

using KeywordModelPtr = std::unique_ptr<JiebaKeywordModel>;

// Never throws for a client that cannot load: the failure becomes the last error.
KeywordModelPtr CreateKeywordModel(const KeywordModelConfig& config);
// Releases the model's caches, client and engine; accepts null.
void DestroyKeywordModel(KeywordModelPtr model);

bool IsModelReady(const JiebaKeywordModel* model);
std::string ModelLastError(const JiebaKeywordModel* model);

// Metrics; each reads 0 for a null model (and the dimension for a model without client).
std::uint64_t CandidateCacheHits(const JiebaKeywordModel* model);
std::uint64_t CandidateCacheMisses(const JiebaKeywordModel* model);
std::uint64_t CandidateCacheSize(const JiebaKeywordModel* model);
std::int32_t ModelDimension(const JiebaKeywordModel* model);

// Normalises, segments and (when the client is ready) ranks the title, and
// picks the keyword text within max_len characters. A null model gives the
// fallback: the first max_len characters of the normalised title.
ExtractionResult Extract(JiebaKeywordModel* model, const std::string& title, std::size_t max_len);

// The steps of Extract, exposed for tests.
ExtractionResult PrepareExtraction(const std::string& title, std::size_t max_len);

// What a join chose: its text, and the keywords it took, in the order it took
// them (their places in the request are left for TakeChoice).
struct KeywordChoice {
  std::string text;
  std::vector<ChosenKeyword> chosen;
};
// The texts of the ranked candidates, in rank order.
std::vector<std::string> RankedTexts(const std::vector<RankedCandidate>& ranked);
// The greedy joins without their fallback: an empty choice when nothing fits.
KeywordChoice ChooseRankedTexts(const std::vector<std::string>& texts, std::size_t max_len);
KeywordChoice ChooseRankedSpans(const std::vector<RankedCandidate>& ranked, std::size_t max_len);
std::string JoinRankedTexts(const std::vector<std::string>& texts, const std::string& normalized_title,
                            std::size_t max_len);
// Makes a non-empty choice the result's keyword text, with its keywords placed
// in the request's title; an empty one leaves the fallback.
void TakeChoice(ExtractionResult& result, const std::vector<RankedCandidate>& ranked, KeywordChoice choice);
void JoinRankedSpans(ExtractionResult& result, const std::vector<RankedCandidate>& ranked,
                     std::size_t max_len);

}  // namespace quirvel
