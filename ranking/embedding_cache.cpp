#include "ranking/embedding_cache.h"

#include <cstddef>

namespace quirvel {
namespace {

struct Misses {
  std::vector<std::string> texts;
  std::vector<std::size_t> positions;
};

// Fills the result from the cache and lists what the engine still has to embed.
Misses LookUp(const EmbeddingCache& cache, const std::vector<std::string>& texts, std::int32_t max_length,
              CacheCounters* counters, std::vector<Embedding>& result) {
  Misses misses;
  misses.texts.reserve(texts.size());
  misses.positions.reserve(texts.size());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const auto found = cache.find(EmbeddingCacheKey(texts[i], max_length));
    if (found != cache.end()) {
      result[i] = found->second;
      if (counters) ++counters->hits;
    } else {
      misses.texts.push_back(texts[i]);
      misses.positions.push_back(i);
      if (counters) ++counters->misses;
    }
  }
  return misses;
}

}  // namespace

std::string EmbeddingCacheKey(const std::string& text, std::int32_t max_length) {
  std::string key = std::to_string(max_length);
  key += '\n';
  key += text;
  return key;
}

std::vector<Embedding> CachedEmbedTexts(EmbeddingClient& client, EmbeddingCache& cache,
                                        const std::vector<std::string>& texts, std::int32_t max_length,
                                        CacheCounters* counters) {
  std::vector<Embedding> result(texts.size());
  const Misses misses = LookUp(cache, texts, max_length, counters, result);
  if (misses.texts.empty()) return result;
  std::vector<Embedding> fresh = client.EmbedTexts(misses.texts, max_length);
  if (fresh.size() != misses.texts.size()) return {};
  for (std::size_t j = 0; j < fresh.size(); ++j) {
    cache[EmbeddingCacheKey(misses.texts[j], max_length)] = fresh[j];
    result[misses.positions[j]] = std::move(fresh[j]);
  }
  return result;
}

}  // namespace quirvel
