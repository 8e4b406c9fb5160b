#include "keywords/keyword_model.h"

#include <new>
#include <utility>

#include "conversion/script_conversion.h"
#include "host/utf8.h"
#include "ranking/ranking.h"

namespace quirvel {
namespace {

// The engine takes what the command line chose (paths, profile, output mode,
// intra-op thread count) and its own defaults for the rest: unit-length
// vectors, no default token limit, the dimension of the profile.
EmbeddingClientConfig ClientConfigFor(const KeywordModelConfig& config) {
  EmbeddingClientConfig client;
  client.model_path = config.model_path;
  client.tokenizer_path = config.tokenizer_path;
  client.profile = config.profile;
  client.output_mode = config.output_mode;
  client.intra_op_threads = config.intra_op_threads;
  return client;
}

KeywordModelPtr BuildModel(const KeywordModelConfig& config) {
  auto model = std::make_unique<JiebaKeywordModel>();
  model->model_path = config.model_path;
  model->tokenizer_path = config.tokenizer_path;
  model->profile = config.profile;
  model->rank_mode = config.rank_mode;
  model->title_max_length = config.title_max_length;
  model->candidate_max_length = config.candidate_max_length;
  model->candidate_cache_enabled = config.candidate_cache;
  model->candidate_cache = EmbeddingCache(static_cast<std::size_t>(config.candidate_cache_capacity));
  model->client = CreateEmbeddingClient(ClientConfigFor(config));
  if (model->client && !model->client->IsReady()) model->last_error = model->client->LastError();
  return model;
}

}  // namespace

KeywordModelPtr CreateKeywordModel(const KeywordModelConfig& config) {
  try {
    return BuildModel(config);
  } catch (const std::bad_alloc&) {
    return nullptr;  // the host reports a null model as not ready
  }
}

void DestroyKeywordModel(KeywordModelPtr model) {
  if (!model) return;
  model->candidate_cache.Clear();
  model->prompt_cache.Clear();
  std::string().swap(model->last_error);
  model->client.reset();
  std::string().swap(model->model_path);
  std::string().swap(model->tokenizer_path);
}

bool IsModelReady(const JiebaKeywordModel* model) {
  return model != nullptr && model->client != nullptr && model->client->IsReady();
}

std::string ModelLastError(const JiebaKeywordModel* model) {
  if (model == nullptr) return "JiebaKeywordModel is null";
  if (!model->last_error.empty()) return model->last_error;
  if (model->client == nullptr) return "EmbedCore engine is not initialized";
  return model->client->LastError();
}

std::uint64_t CandidateCacheHits(const JiebaKeywordModel* model) { return model ? model->cache_hits : 0; }

std::uint64_t CandidateCacheMisses(const JiebaKeywordModel* model) { return model ? model->cache_misses : 0; }

std::uint64_t CandidateCacheSize(const JiebaKeywordModel* model) {
  return model ? model->candidate_cache.size() : 0;
}

std::int32_t ModelDimension(const JiebaKeywordModel* model) {
  return model && model->client ? model->client->Dimension() : 0;
}

ExtractionResult PrepareExtraction(const std::string& title, std::size_t max_len) {
  ExtractionResult result;
  result.input_title = title;
  result.normalized_title = NormalizeScript(title);
  result.segments = SegmentTitle(result.normalized_title);
  result.keyword_text = TruncateUtf8Chars(result.normalized_title, max_len);
  result.keyword_length = CountUtf8Chars(result.keyword_text);
  return result;
}

ExtractionResult Extract(JiebaKeywordModel* model, const std::string& title, std::size_t max_len) {
  ExtractionResult result = PrepareExtraction(title, max_len);
  if (!IsModelReady(model)) return result;
  result.ranked = RankCandidates(*model, result.normalized_title, result.segments);
  if (model->rank_mode == RankMode::Embedding) {
    TakeChoice(result, result.ranked, ChooseRankedTexts(RankedTexts(result.ranked), max_len));
  } else {
    JoinRankedSpans(result, result.ranked, max_len);
  }
  return result;
}

}  // namespace quirvel
