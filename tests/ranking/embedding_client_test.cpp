#include "ranking/embedding_client.h"

#include <gtest/gtest.h>

namespace quirvel {
namespace {

// An engine that cannot load reports why and never embeds.
TEST(EmbeddingClientTest, UnloadableModelIsNotReadyAndEmbedsNothing) {
  const struct {
    std::string model_path;
    std::string tokenizer_path;
  } cases[] = {{"", ""}, {"/nonexistent/model.onnx", "/nonexistent/tokenizer.json"}};
  for (const auto& c : cases) {
    EmbeddingClientConfig config;
    config.model_path = c.model_path;
    config.tokenizer_path = c.tokenizer_path;
    const auto client = CreateEmbeddingClient(config);
    ASSERT_NE(client, nullptr);
    EXPECT_FALSE(client->IsReady());
    EXPECT_EQ(client->Dimension(), 0);
    EXPECT_FALSE(client->LastError().empty());
    EXPECT_TRUE(client->EmbedTexts({"手机", "耳机"}, 16).empty());
    EXPECT_TRUE(client->EmbedText("手机", 16).empty());
  }
}

}  // namespace
}  // namespace quirvel
