#include "ranking/ranking.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <string_view>
#include <utility>

#include "keywords/keyword_model_types.h"
#include "ranking/core_prompts.h"
#include "ranking/embedding_cache.h"

namespace quirvel {
namespace {

constexpr float kTieTolerance = 0.0001f;
constexpr float kCoreWeight = 0.35f;
constexpr float kTitleWeight = 0.2f;
constexpr float kCategoryWeight = 0.25f;
constexpr float kAttributeWeight = 0.15f;
// Four-segment phrases are usually a whole title fragment rather than a search
// term, so they lose a fixed amount against otherwise equal candidates.
constexpr float kPhrase4Penalty = 0.04f;
constexpr std::string_view kPhrase4Kind = "phrase4";

// The similarity of `vector` to each of `others`, each summed exactly as
// Similarity sums it: in single precision from 0, element by element over the
// common prefix. Side by side, each addition no longer waits for the one
// before it in another sum; every sum keeps its own order, so its bits.
template <std::size_t N>
std::array<float, N> SimilaritiesTo(const Embedding& vector, const std::array<const Embedding*, N>& others) {
  std::array<float, N> sums{};
  std::array<std::size_t, N> lengths{};
  std::size_t common = vector.size();
  for (std::size_t k = 0; k < N; ++k) {
    lengths[k] = std::min(others[k]->size(), vector.size());
    common = std::min(common, lengths[k]);
  }
  for (std::size_t i = 0; i < common; ++i) {
    for (std::size_t k = 0; k < N; ++k) sums[k] += (*others[k])[i] * vector[i];
  }
  for (std::size_t k = 0; k < N; ++k) {
    for (std::size_t i = common; i < lengths[k]; ++i) sums[k] += (*others[k])[i] * vector[i];
  }
  return sums;
}

struct PromptVectors {
  Embedding core;
  Embedding category;
  Embedding attribute;
  Embedding marketing;
};

std::vector<std::string> CandidateTexts(const std::vector<Candidate>& candidates) {
  std::vector<std::string> texts;
  texts.reserve(candidates.size());
  for (const auto& candidate : candidates) texts.push_back(candidate.text);
  return texts;
}

std::vector<Embedding> EmbedCandidates(JiebaKeywordModel& model, const std::vector<std::string>& texts) {
  if (!model.candidate_cache_enabled) return model.client->EmbedTexts(texts, model.candidate_max_length);
  CacheCounters counters{model.cache_hits, model.cache_misses};
  return CachedEmbedTexts(*model.client, model.candidate_cache, texts, model.candidate_max_length, &counters);
}

std::vector<std::string> PromptTexts(const std::string& normalized_title) {
  return {std::string(kCorePrompt) + normalized_title, std::string(kCategoryPrompt) + normalized_title,
          std::string(kAttributePrompt) + normalized_title, std::string(kMarketingPrompt)};
}

// The marketing prompt is the same for every title, so after the first request
// it always comes from the cache; the three prompts that hold the title come
// from it only when a recent title comes again. Given `title`, the title goes
// in the same call, embedded to the same limit, so the engine can run it with
// its prompts instead of alone.
bool EmbedPrompts(JiebaKeywordModel& model, const std::string& normalized_title, PromptVectors& out,
                  Embedding* title = nullptr) {
  std::vector<std::string> texts = PromptTexts(normalized_title);
  const std::size_t first = title != nullptr ? 1 : 0;
  if (title != nullptr) texts.insert(texts.begin(), normalized_title);
  auto vectors = CachedEmbedTexts(*model.client, model.prompt_cache, texts, model.title_max_length, nullptr);
  if (vectors.size() != texts.size() || (title != nullptr && vectors.front().empty())) return false;
  if (title != nullptr) *title = std::move(vectors.front());
  out = {std::move(vectors[first]), std::move(vectors[first + 1]), std::move(vectors[first + 2]),
         std::move(vectors[first + 3])};
  return true;
}

RankedCandidate RecordFor(const Candidate& candidate) {
  RankedCandidate record;
  record.text = candidate.text;
  record.start = candidate.start;
  record.end = candidate.end;
  record.kind = candidate.kind;
  return record;
}

RankedCandidate ScoreByTitle(const Candidate& candidate, const Embedding& title, const Embedding& vector) {
  RankedCandidate record = RecordFor(candidate);
  record.title_similarity = Similarity(title, vector);
  record.score = record.title_similarity;
  return record;
}

// The order of the single-precision steps is fixed: reordering them can move
// a score across the tie tolerance.
float CombinedScore(const RankedCandidate& r) {
  float score = r.core_similarity * kCoreWeight;
  score += r.title_similarity * kTitleWeight;
  score += r.category_similarity * kCategoryWeight;
  score += r.attribute_similarity * kAttributeWeight;
  score -= r.marketing_similarity;
  score -= r.kind == kPhrase4Kind ? kPhrase4Penalty : 0.0f;
  return score;
}

RankedCandidate ScoreByPrompts(const Candidate& candidate, const Embedding& title,
                               const PromptVectors& prompts, const Embedding& vector) {
  RankedCandidate record = RecordFor(candidate);
  const auto similarities = SimilaritiesTo<5>(
      vector, {&title, &prompts.core, &prompts.category, &prompts.attribute, &prompts.marketing});
  record.title_similarity = similarities[0];
  record.core_similarity = similarities[1];
  record.category_similarity = similarities[2];
  record.attribute_similarity = similarities[3];
  record.marketing_similarity = similarities[4];
  record.score = CombinedScore(record);
  return record;
}

// Scored against the prompts when `prompts` is given, else by the title alone.
std::vector<RankedCandidate> ScoreAll(const std::vector<Candidate>& candidates, const Embedding& title,
                                      const PromptVectors* prompts, const std::vector<Embedding>& vectors) {
  std::vector<RankedCandidate> records;
  records.reserve(candidates.size());
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    records.push_back(prompts != nullptr ? ScoreByPrompts(candidates[i], title, *prompts, vectors[i])
                                         : ScoreByTitle(candidates[i], title, vectors[i]));
  }
  return records;
}

void MergeRuns(std::vector<RankedCandidate>& from, std::vector<RankedCandidate>& to, std::size_t lo,
               std::size_t mid, std::size_t hi) {
  std::size_t left = lo;
  std::size_t right = mid;
  std::size_t out = lo;
  // Taking the right element only when it strictly ranks first keeps the sort stable.
  while (left < mid && right < hi)
    to[out++] = RanksBefore(from[right], from[left]) ? std::move(from[right++]) : std::move(from[left++]);
  while (left < mid) to[out++] = std::move(from[left++]);
  while (right < hi) to[out++] = std::move(from[right++]);
}

}  // namespace

float Similarity(const Embedding& a, const Embedding& b) { return SimilaritiesTo<1>(b, {&a})[0]; }

bool RanksBefore(const RankedCandidate& a, const RankedCandidate& b) {
  if (std::fabs(a.score - b.score) > kTieTolerance) return a.score > b.score;
  return a.start < b.start;
}

void SortRanked(std::vector<RankedCandidate>& records) {
  const std::size_t n = records.size();
  std::vector<RankedCandidate> buffer(n);
  for (std::size_t width = 1; width < n; width *= 2) {
    for (std::size_t lo = 0; lo < n; lo += 2 * width) {
      const std::size_t mid = std::min(lo + width, n);
      const std::size_t hi = std::min(lo + 2 * width, n);
      MergeRuns(records, buffer, lo, mid, hi);
    }
    records.swap(buffer);
  }
}

std::vector<RankedCandidate> RankCandidateList(JiebaKeywordModel& model, const std::string& normalized_title,
                                               const std::vector<Candidate>& candidates) {
  if (!model.client || !model.client->IsReady() || candidates.empty()) return {};
  const bool by_prompts = model.rank_mode != RankMode::Embedding;
  Embedding title;
  PromptVectors prompts;
  // When the title cannot be embedded with its prompts, each is embedded apart
  // below, so a failure names the part that failed.
  const bool embedded_together = by_prompts && EmbedPrompts(model, normalized_title, prompts, &title);
  if (!embedded_together) title = model.client->EmbedText(normalized_title, model.title_max_length);
  if (title.empty()) {
    model.last_error = "failed to embed title: " + model.client->LastError();
    return {};
  }
  const std::vector<Embedding> vectors = EmbedCandidates(model, CandidateTexts(candidates));
  if (vectors.size() != candidates.size()) {
    model.last_error = "failed to embed candidate tokens: " + model.client->LastError();
    return {};
  }
  if (by_prompts && !embedded_together && !EmbedPrompts(model, normalized_title, prompts)) {
    model.last_error = "failed to embed core-score prompts: " + model.client->LastError();
    return {};
  }
  auto records = ScoreAll(candidates, title, by_prompts ? &prompts : nullptr, vectors);
  SortRanked(records);
  return records;
}

std::vector<RankedCandidate> RankCandidates(JiebaKeywordModel& model, const std::string& normalized_title,
                                            const std::vector<Segment>& segments) {
  if (!model.client || !model.client->IsReady()) return {};
  const auto candidates =
      model.rank_mode == RankMode::Embedding ? BuildTokenCandidates(segments) : BuildCandidates(segments);
  return RankCandidateList(model, normalized_title, candidates);
}

}  // namespace quirvel
