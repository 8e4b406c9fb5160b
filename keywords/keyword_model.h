// The keyword model: one extraction from a title to its keyword text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/service_options.h"
#include "keywords/segmentation.h"
#include "ranking/embedding_client.h"
#include "ranking/ranked_candidate.h"

namespace quirvel {

// What the host hands to the model factory.
struct KeywordModelConfig {
  std::string model_path;
  std::string tokenizer_path;
  std::uint32_t profile = 0;
  RankMode rank_mode = RankMode::Default;
  std::uint32_t output_mode = 0;  // handed to the engine; 0 = the profile's default
  std::int32_t title_max_length = 128;
  std::int32_t candidate_max_length = 64;
  bool candidate_cache = false;
};

struct ExtractionResult {
  std::string input_title;       // as the request gave it
  std::string normalized_title;  // after NormalizeScript
  std::string keyword_text;      // in the normalised script
  std::vector<Segment> segments;
  std::vector<RankedCandidate> ranked;  // best first
  std::uint64_t keyword_length = 0;     // CountUtf8Chars(keyword_text)
};

struct JiebaKeywordModel {
  std::string model_path;
  std::string tokenizer_path;
  std::uint32_t profile = 0;
  RankMode rank_mode = RankMode::Default;
  std::int32_t title_max_length = 128;
  std::int32_t candidate_max_length = 64;
  bool candidate_cache_enabled = false;
  std::unique_ptr<EmbeddingClient> client;  // may be null
  std::string last_error;
  EmbeddingCache prompt_cache;
  EmbeddingCache candidate_cache;
  std::uint64_t cache_hits = 0;
  std::uint64_t cache_misses = 0;
};

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
std::string JoinRankedTexts(const std::vector<std::string>& texts, const std::string& normalized_title,
                            std::size_t max_len);
void JoinRankedSpans(ExtractionResult& result, const std::vector<RankedCandidate>& ranked,
                     std::size_t max_len);

}  // namespace quirvel
