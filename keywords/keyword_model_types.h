// The keyword model's records: what the host hands to the factory, the model
// itself (its settings, engine client and caches, which the ranking reads and
// grows), and the result of one extraction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/keyword_text.h"
#include "keywords/keyword_model_config.h"
#include "keywords/segmentation.h"
#include "ranking/embedding_cache.h"
#include "ranking/embedding_client.h"
#include "ranking/rank_mode.h"
#include "ranking/ranked_candidate.h"

namespace quirvel {

// One keyword the join took, as it took it: which ranked candidate it is,
// whether the join put a blank in front of it, and where it stands in the
// request's title (its place in the normalized title is the candidate's span).
struct ChosenKeyword {
  std::size_t ranked_index = 0;
  bool blank_before = false;
  // The keyword in the request's characters where the titles align; its own
  // characters, with no request character behind them, where they do not.
  MappedChars in_request;
};

struct ExtractionResult {
  std::string input_title;       // as the request gave it
  std::string normalized_title;  // after NormalizeScript
  std::string keyword_text;      // in the normalised script
  std::vector<Segment> segments;
  std::vector<RankedCandidate> ranked;  // best first
  // The keywords the join took, in the order it took them; their texts joined
  // with their blanks are the keyword text. Empty when it is the fallback.
  std::vector<ChosenKeyword> chosen;
  std::uint64_t keyword_length = 0;  // CountUtf8Chars(keyword_text)
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
  EmbeddingCache prompt_cache{kPromptCacheCapacity};
  EmbeddingCache candidate_cache;
  std::uint64_t cache_hits = 0;
  std::uint64_t cache_misses = 0;
};

}  // namespace quirvel
