// Small deterministic models whose outputs can be worked out by hand.
//
// Every model reads int64 "input_ids" and "attention_mask" [batch, seq], and
// optionally "token_type_ids" and "position_ids". The token features of position t
// are, in this order, the id, the mask, then the position id and the token type id
// when the model has those inputs (F features). A token vector of width H holds
// feature (h mod F) at column h, so hand-computed rows follow from the input ids.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace quirvel::modelgen {

// Output kinds (the graph output keeps the order given):
//   sentence            [batch, H] masked mean of the token vectors, declared [batch, H]
//   sentence-symbolic   the same, declared [batch, hidden] (width unknown until run)
//   tokens              [batch, seq, H], declared [batch, seq, H]
//   tokens-fixed:N      the same, declared [batch, N, H]
//   tokens-doubled      [batch, 2*seq, H]: the token vectors twice along the sequence
//   scores              [batch]: sum of the masked ids (rank 1 fits no output mode)
//   int64               [batch, 1] int64 sum of the ids
//   gather-oob          [batch, H]: sum of rows of a 4-row table gathered by id;
//                       fails at run time for any id above 3
//   fails-on:ID         the "sentence" rows, but the run fails whenever a text
//                       holds token ID (a model that runs on some texts only)
//   tokens-after-first  [batch, seq - 1, H]: the token vectors without the first
// Any kind may end in @W for its own width W instead of the model's (a pooled
// head narrower than the token vectors, as in bge-m3's three-head export).
//
// A decoder layout adds the key/value cache inputs of a decoder export,
// "past_key_values.{i}.key" and ".value" [batch, heads, past, head size], and
// the matching "present.{i}.*" outputs, the past and the new keys concatenated
// along the sequence. Every output depends on every present value, so a past
// fed with the wrong batch or a non-zero length makes the run fail.
struct OutputRequest {
  std::string name;
  std::string kind;
};

struct TestModelLayout {
  std::int64_t width = 4;
  bool token_type_ids = false;
  bool position_ids = false;
  std::vector<OutputRequest> outputs;
  std::int64_t decoder_layers = 0;  // 0: no cache inputs
  std::int64_t decoder_heads = 8;
  std::int64_t decoder_head_size = 128;
  bool float16 = false;        // float outputs and cache inputs in half precision
  bool external_data = false;  // weights in "<model>_data" beside the model
  // Custom metadata entries (key, value), written as given.
  std::vector<std::pair<std::string, std::string>> metadata;
};

// Throws std::runtime_error for an unknown kind or an unwritable path, and
// cli::UsageError for a bad number inside a kind.
void WriteTestModel(const TestModelLayout& layout, const std::string& path);

}  // namespace quirvel::modelgen
