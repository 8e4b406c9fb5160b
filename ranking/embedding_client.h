// The keyword model's side of the embedding engine: one engine handle, batches
// of texts in, one float vector per text out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quirvel {

using Embedding = std::vector<float>;

struct EmbeddingClientConfig {
  std::uint32_t backend = 0;
  std::uint32_t device = 0;
  std::uint32_t profile = 0;
  std::uint32_t output_mode = 0;
  std::string model_path;
  std::string tokenizer_path;
  std::int32_t default_max_length = 0;
  std::int32_t expected_dimension = 0;
  bool normalize = true;
  std::int32_t intra_op_threads = 0;
  std::int32_t inter_op_threads = 0;
};

// The abstract side lets tests put a scripted engine behind the ranking.
class EmbeddingClient {
 public:
  virtual ~EmbeddingClient() = default;
  virtual bool IsReady() const = 0;
  virtual std::int32_t Dimension() const = 0;
  virtual std::string LastError() const = 0;
  // One vector per text in one engine call, or an empty list on any failure.
  virtual std::vector<Embedding> EmbedTexts(const std::vector<std::string>& texts,
                                            std::int32_t max_length) = 0;
  // The first vector of a one-text batch, or an empty vector on failure.
  Embedding EmbedText(const std::string& text, std::int32_t max_length);
};

// A client over one embedcore engine. Never null; check IsReady().
std::unique_ptr<EmbeddingClient> CreateEmbeddingClient(const EmbeddingClientConfig& config);

}  // namespace quirvel
