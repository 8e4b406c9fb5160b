// Runs a sentence-embedding model with ONNX Runtime: loads the tokenizer and the
// model, picks the output that fits the profile, and turns a batch of texts into
// one (optionally L2-normalised) row per text, running texts of like length together.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "embedcore/profiles.h"
#include "embedcore/token_batch.h"

namespace quirvel {

// The model's custom metadata entry that states what one more run costs it, in
// padded tokens (a decimal count). A model whose run is mostly fixed overhead
// (a table lookup and a mean) states a far higher figure than a transformer,
// whose every run streams all its weights.
inline constexpr const char* kRunCostMetadataKey = "quirvel.run_cost_tokens";

struct CoreOptions {
  std::uint32_t profile = kProfileAuto;
  OutputMode output_mode = OutputMode::Auto;  // Auto = the profile's default
  std::int32_t expected_dimension = 0;        // < 1 = the profile's default
  bool normalize = true;
  std::int32_t intra_op_threads = 0;
  std::int32_t inter_op_threads = 0;
  // Texts x padded length per model run: a call with more goes through the
  // model in several sub-batches, so memory stays flat however many candidates
  // a title has. A text longer than the budget runs alone.
  std::int64_t token_budget = kDefaultTokenBudget;
  // What one more run costs in padded tokens, against which the texts of a
  // call, ordered by length, are cut into runs that pad little (PlanSubBatches).
  // None: the figure the model states under kRunCostMetadataKey, else
  // kDefaultRunCostTokens.
  std::optional<std::int64_t> run_cost_tokens;
};

namespace detail {
struct CoreState;
}

class OnnxEmbeddingCore {
 public:
  OnnxEmbeddingCore();
  ~OnnxEmbeddingCore();
  OnnxEmbeddingCore(const OnnxEmbeddingCore&) = delete;
  OnnxEmbeddingCore& operator=(const OnnxEmbeddingCore&) = delete;

  // Failures end up in last_error(); only a failure to create the ONNX Runtime
  // environment or session options is thrown.
  void initialize(const std::string& model_path, const std::string& tokenizer_path,
                  const CoreOptions& options);

  bool is_ready() const;
  std::int32_t dimension() const;
  std::string last_error() const;

  // One row per text on success; fewer rows on failure. Never throws.
  std::vector<std::vector<float>> embed(const std::vector<std::string>& texts, std::int32_t max_length);

  // What initialisation selected, for diagnostics and tests.
  OutputKind output_kind() const;
  std::string output_name() const;
  OutputMode output_mode() const;
  // The run cost the texts of a call are cut into runs by.
  std::int64_t run_cost_tokens() const;

 private:
  std::unique_ptr<detail::CoreState> state_;
};

}  // namespace quirvel
