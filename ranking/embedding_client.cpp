// Placeholder until the embedding client lands: never ready.
#include "ranking/embedding_client.h"

namespace quirvel {
namespace {
class NullClient final : public EmbeddingClient {
 public:
  bool IsReady() const override { return false; }
  std::int32_t Dimension() const override { return 0; }
  std::string LastError() const override { return "EmbedCore is not initialized"; }
  std::vector<Embedding> EmbedTexts(const std::vector<std::string>&, std::int32_t) override { return {}; }
};
}  // namespace
Embedding EmbeddingClient::EmbedText(const std::string& text, std::int32_t max_length) {
  auto rows = EmbedTexts({text}, max_length);
  return rows.empty() ? Embedding{} : rows.front();
}
std::unique_ptr<EmbeddingClient> CreateEmbeddingClient(const EmbeddingClientConfig&) {
  return std::make_unique<NullClient>();
}
}  // namespace quirvel
