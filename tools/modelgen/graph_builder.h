// A small helper over the ONNX protobuf classes for writing test models: unique
// node names, constants, and typed graph inputs and outputs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "onnx/onnx_pb.h"

namespace quirvel::modelgen {

// A declared dimension: a fixed size, or a symbolic name when `symbol` is set.
struct Dim {
  std::int64_t size = 0;
  std::string symbol;
};
Dim Fixed(std::int64_t size);
Dim Symbolic(const std::string& name);

class GraphBuilder {
 public:
  // Opset 13 unless a model needs a later operator (LayerNormalization is 17).
  explicit GraphBuilder(std::int64_t opset_version = 13);

  void AddInput(const std::string& name, std::int32_t elem_type, const std::vector<Dim>& shape);
  void AddOutput(const std::string& name, std::int32_t elem_type, const std::vector<Dim>& shape);
  std::string Int64Constant(const std::vector<std::int64_t>& values);
  std::string FloatConstant(const std::vector<float>& values, const std::vector<std::int64_t>& shape);
  // Takes little-endian float bytes as they are, so large weights are never copied.
  std::string RawFloatConstant(std::string&& bytes, const std::vector<std::int64_t>& shape);
  // Any element type from its little-endian bytes (int8 weights, uint8 zero points).
  std::string RawConstant(std::string&& bytes, std::int32_t elem_type,
                          const std::vector<std::int64_t>& shape);
  // Adds a node and returns its single output name (or `output` when given).
  std::string Node(const std::string& op, const std::vector<std::string>& inputs,
                   const std::string& output = "");
  // A node with several outputs (DynamicQuantizeLinear); returns their names.
  std::vector<std::string> MultiNode(const std::string& op, const std::vector<std::string>& inputs,
                                     int outputs);
  onnx::NodeProto& LastNode();
  // An entry of the model's custom metadata (ONNX Runtime's custom metadata map).
  void AddMetadata(const std::string& key, const std::string& value);

  // Writes the model; throws std::runtime_error when the file cannot be written.
  void Save(const std::string& path);
  // Writes every initializer's bytes into `path` + "_data" beside the model and
  // points the model at them, as exporters do for models over 2 GB.
  void SaveWithExternalData(const std::string& path);

 private:
  std::string Fresh(const std::string& stem);
  onnx::ModelProto model_;
  onnx::GraphProto* graph_;
  int counter_ = 0;
};

void SetIntAttribute(onnx::NodeProto& node, const std::string& name, std::int64_t value);

}  // namespace quirvel::modelgen
