// A static embedding model from a table built elsewhere (the default model's
// vectors, written by tools/default_model): the raw little-endian rows of the
// table become the gather of the mean-pool graph, unchanged.
#pragma once

#include <cstdint>
#include <string>

namespace quirvel::modelgen {

struct StaticModelRequest {
  std::string table_path;  // rows x width values, row-major, little-endian
  std::string out_path;    // the model.onnx to write
  std::int64_t width = 0;
  bool float16 = false;    // the table holds IEEE half floats instead of 32-bit floats
};

// Throws std::runtime_error when the table cannot be read or its size is not
// a whole number of rows of `width` values.
void WriteStaticModel(const StaticModelRequest& request);

}  // namespace quirvel::modelgen
