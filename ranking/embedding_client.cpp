// The embedcore-backed client: one engine handle, one engine call per batch.
#include "ranking/embedding_client.h"

#include <cstddef>
#include <limits>

#include "embedcore/embedcore.h"

namespace quirvel {
namespace {

struct EngineDeleter {
  void operator()(embedcore_engine* engine) const { embedcore_destroy(engine); }
};
using EngineHandle = std::unique_ptr<embedcore_engine, EngineDeleter>;

// The engine counts floats in 32 bits; a larger batch could not be described to it.
constexpr std::int64_t kMaxBatchFloats = std::numeric_limits<std::int32_t>::max();
constexpr const char* kBatchTooLarge = "embedding batch is too large for one engine call";

embedcore_options ToEngineOptions(const EmbeddingClientConfig& config) {
  embedcore_options options{};
  options.backend = config.backend;
  options.device = config.device;
  options.profile = config.profile;
  options.output_mode = config.output_mode;
  options.model_path = config.model_path.c_str();
  options.tokenizer_path = config.tokenizer_path.c_str();
  options.default_max_length = config.default_max_length;
  options.expected_dimension = config.expected_dimension;
  options.normalize = config.normalize ? 1 : -1;
  options.intra_op_threads = config.intra_op_threads;
  options.inter_op_threads = config.inter_op_threads;
  options.reserved = 0;
  return options;
}

std::vector<const char*> TextPointers(const std::vector<std::string>& texts) {
  std::vector<const char*> pointers;
  pointers.reserve(texts.size());
  for (const auto& text : texts) pointers.push_back(text.c_str());
  return pointers;
}

// Rows come back only when the engine filled exactly one row per text inside
// the buffer it was given; anything else is treated as a failed batch.
std::vector<Embedding> SplitRows(const std::vector<float>& buffer, std::int64_t expected_rows,
                                 std::int32_t rows, std::int32_t row_dim) {
  if (rows != expected_rows || row_dim < 1) return {};
  const auto row_len = static_cast<std::size_t>(row_dim);
  if (static_cast<std::size_t>(rows) * row_len > buffer.size()) return {};
  std::vector<Embedding> result;
  result.reserve(static_cast<std::size_t>(rows));
  for (std::size_t r = 0; r < static_cast<std::size_t>(rows); ++r) {
    const auto first = buffer.begin() + static_cast<std::ptrdiff_t>(r * row_len);
    result.emplace_back(first, first + static_cast<std::ptrdiff_t>(row_len));
  }
  return result;
}

class EmbedCoreClient final : public EmbeddingClient {
 public:
  EmbedCoreClient(EngineHandle engine, std::int32_t default_max_length)
      : engine_(std::move(engine)), default_max_length_(default_max_length) {}

  bool IsReady() const override { return engine_ && embedcore_dimension(engine_.get()) >= 1; }

  std::int32_t Dimension() const override { return engine_ ? embedcore_dimension(engine_.get()) : 0; }

  std::string LastError() const override {
    if (!engine_) return "EmbedCore is not initialized";
    if (!refusal_.empty()) return refusal_;
    const char* message = embedcore_last_error(engine_.get());
    return message ? message : "";
  }

  std::vector<Embedding> EmbedTexts(const std::vector<std::string>& texts, std::int32_t max_length) override {
    refusal_.clear();
    if (!engine_ || texts.empty()) return {};
    const std::int32_t dim = embedcore_dimension(engine_.get());
    if (dim < 1) return {};
    const auto count = static_cast<std::int64_t>(texts.size());
    if (count > kMaxBatchFloats / dim) {
      refusal_ = kBatchTooLarge;
      return {};
    }
    return RunBatch(texts, EffectiveMaxLength(max_length), dim);
  }

 private:
  std::int32_t EffectiveMaxLength(std::int32_t max_length) const {
    return max_length < 1 && default_max_length_ >= 1 ? default_max_length_ : max_length;
  }

  std::vector<Embedding> RunBatch(const std::vector<std::string>& texts, std::int32_t max_length,
                                  std::int32_t dim) {
    const auto count = static_cast<std::int32_t>(texts.size());
    const std::int64_t capacity = static_cast<std::int64_t>(count) * dim;
    std::vector<float> buffer(static_cast<std::size_t>(capacity), 0.0f);
    const auto pointers = TextPointers(texts);
    std::int32_t rows = 0;
    std::int32_t row_dim = 0;
    const std::int32_t ok =
        embedcore_embed_texts(engine_.get(), pointers.data(), count, max_length, buffer.data(),
                              static_cast<std::int32_t>(capacity), &rows, &row_dim);
    if (ok == 0) return {};
    return SplitRows(buffer, count, rows, row_dim);
  }

  EngineHandle engine_;
  std::int32_t default_max_length_ = 0;
  std::string refusal_;  // set when the client itself refused a batch
};

}  // namespace

Embedding EmbeddingClient::EmbedText(const std::string& text, std::int32_t max_length) {
  auto rows = EmbedTexts({text}, max_length);
  return rows.empty() ? Embedding{} : std::move(rows.front());
}

std::unique_ptr<EmbeddingClient> CreateEmbeddingClient(const EmbeddingClientConfig& config) {
  const embedcore_options options = ToEngineOptions(config);
  EngineHandle engine(embedcore_create(&options));
  return std::make_unique<EmbedCoreClient>(std::move(engine), config.default_max_length);
}

}  // namespace quirvel
