// The engine's backend seam: the flat interface owns exactly one backend.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "embedcore/onnx_embedding_core.h"

namespace quirvel {

class IEmbeddingBackend {
 public:
  virtual ~IEmbeddingBackend() = default;
  virtual bool is_ready() const = 0;
  virtual std::int32_t dimension() const = 0;
  virtual std::string last_error() const = 0;
  // True exactly when one row per text was produced.
  virtual bool embed(const std::vector<std::string>& texts, std::int32_t max_length,
                     std::vector<std::vector<float>>& rows) = 0;
};

class OnnxEmbeddingBackend final : public IEmbeddingBackend {
 public:
  OnnxEmbeddingBackend(const std::string& model_path, const std::string& tokenizer_path,
                       const CoreOptions& options) {
    core_.initialize(model_path, tokenizer_path, options);
  }
  bool is_ready() const override { return core_.is_ready(); }
  std::int32_t dimension() const override { return core_.dimension(); }
  std::string last_error() const override { return core_.last_error(); }
  bool embed(const std::vector<std::string>& texts, std::int32_t max_length,
             std::vector<std::vector<float>>& rows) override {
    rows = core_.embed(texts, max_length);
    return rows.size() == texts.size();
  }

 private:
  OnnxEmbeddingCore core_;
};

}  // namespace quirvel
