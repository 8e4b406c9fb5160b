#include "tools/modelgen/static_model.h"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <utility>

#include "tools/modelgen/mean_pool_graph.h"

namespace quirvel::modelgen {
namespace {

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read embedding table: " + path);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw std::runtime_error("cannot read embedding table: " + path);
  return bytes;
}

std::int64_t RowsOf(const std::string& bytes, const StaticModelRequest& request) {
  if (request.width < 1) throw std::runtime_error("width must be at least 1");
  const std::size_t row_bytes = static_cast<std::size_t>(request.width) * (request.float16 ? 2 : 4);
  if (bytes.empty() || bytes.size() % row_bytes != 0)
    throw std::runtime_error("embedding table of " + std::to_string(bytes.size()) +
                             " bytes is not a whole number of rows of width " + std::to_string(request.width) +
                             ": " + request.table_path);
  return static_cast<std::int64_t>(bytes.size() / row_bytes);
}

}  // namespace

void WriteStaticModel(const StaticModelRequest& request) {
  std::string bytes = ReadWholeFile(request.table_path);
  const std::int64_t rows = RowsOf(bytes, request);
  const std::int32_t type = request.float16 ? onnx::TensorProto_DataType_FLOAT16 : onnx::TensorProto_DataType_FLOAT;
  GraphBuilder builder;
  const std::string table = builder.RawConstant(std::move(bytes), type, {rows, request.width});
  BuildMeanPoolGraph(builder, {table, type, rows, request.width});
  builder.Save(request.out_path);
}

}  // namespace quirvel::modelgen
