// A scripted engine behind the client interface: fixed vectors per text,
// recorded calls, and batches that can be made to come back short.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ranking/embedding_client.h"

namespace quirvel::test {

class FakeEmbeddingClient : public EmbeddingClient {
 public:
  struct Call {
    std::vector<std::string> texts;
    std::int32_t max_length = 0;
  };

  bool ready = true;
  std::string error = "engine said no";
  std::map<std::string, Embedding> vectors;          // by text; others get a derived vector
  std::map<std::size_t, std::size_t> rows_for_call;  // call index -> rows to return
  std::vector<Call> calls;

  bool IsReady() const override { return ready; }
  std::int32_t Dimension() const override { return ready ? 4 : 0; }
  std::string LastError() const override { return error; }

  std::vector<Embedding> EmbedTexts(const std::vector<std::string>& texts, std::int32_t max_length) override {
    calls.push_back({texts, max_length});
    std::vector<Embedding> rows;
    for (const auto& text : texts) rows.push_back(VectorFor(text, max_length));
    const auto limit = rows_for_call.find(calls.size() - 1);
    if (limit != rows_for_call.end() && limit->second < rows.size()) rows.resize(limit->second);
    return rows;
  }

  std::size_t TextsSent() const {
    std::size_t total = 0;
    for (const auto& call : calls) total += call.texts.size();
    return total;
  }

  // Unknown texts get a vector that depends on the text and the limit, so a
  // vector cached under the wrong limit would show.
  Embedding VectorFor(const std::string& text, std::int32_t max_length) const {
    const auto known = vectors.find(text);
    if (known != vectors.end()) return known->second;
    const std::size_t hash = std::hash<std::string>{}(text) ^ static_cast<std::size_t>(max_length);
    Embedding v(4);
    for (std::size_t k = 0; k < v.size(); ++k) v[k] = static_cast<float>((hash >> (8 * k)) & 0xff) / 255.0f;
    return v;
  }
};

}  // namespace quirvel::test
