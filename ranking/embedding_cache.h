// Embedding through a cache keyed by maximum length and text, so the same text
// embedded with two different limits keeps two entries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ranking/embedding_client.h"

namespace quirvel {

// The candidate cache counts its hits and misses for the metrics reply; the
// prompt cache passes no counters.
struct CacheCounters {
  std::uint64_t& hits;
  std::uint64_t& misses;
};

// The maximum length in decimal, one line feed, then the text bytes.
std::string EmbeddingCacheKey(const std::string& text, std::int32_t max_length);

// One vector per text. Misses go to the engine in one batch; when that batch
// fails the result is empty and nothing is stored (the counters keep what the
// lookups added).
std::vector<Embedding> CachedEmbedTexts(EmbeddingClient& client, EmbeddingCache& cache,
                                        const std::vector<std::string>& texts, std::int32_t max_length,
                                        CacheCounters* counters);

}  // namespace quirvel
