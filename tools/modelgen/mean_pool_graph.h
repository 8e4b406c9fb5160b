// The graph of a static embedding model: each token id picks one row of a
// table, and the rows under the attention mask are averaged into a 2D
// "sentence_embedding" [batch, width]. The demo model and the default model
// are both this graph; only their tables differ.
#pragma once

#include <cstdint>
#include <string>

#include "tools/modelgen/graph_builder.h"

namespace quirvel::modelgen {

struct EmbeddingTable {
  std::string name;          // the initializer holding the table (a constant's name)
  std::int32_t elem_type{};  // FLOAT or FLOAT16; a float16 table is widened before pooling
  std::int64_t rows = 0;
  std::int64_t width = 0;
};

// Adds the inputs "input_ids" and "attention_mask" (int64 [batch, seq]), the
// gather from `table`, the masked mean, and the output "sentence_embedding".
void BuildMeanPoolGraph(GraphBuilder& b, const EmbeddingTable& table);

}  // namespace quirvel::modelgen
