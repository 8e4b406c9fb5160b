#include "tools/modelgen/mean_pool_graph.h"

#include <vector>

namespace quirvel::modelgen {
namespace {

void SetKeepDims(GraphBuilder& b, bool keep) {
  onnx::AttributeProto* attribute = b.LastNode().add_attribute();
  attribute->set_name("keepdims");
  attribute->set_type(onnx::AttributeProto_AttributeType_INT);
  attribute->set_i(keep ? 1 : 0);
}

std::string CastToFloat(GraphBuilder& b, const std::string& input) {
  const std::string out = b.Node("Cast", {input});
  SetIntAttribute(b.LastNode(), "to", onnx::TensorProto_DataType_FLOAT);
  return out;
}

}  // namespace

void BuildMeanPoolGraph(GraphBuilder& b, const EmbeddingTable& table) {
  const std::vector<Dim> input_shape = {Symbolic("batch"), Symbolic("seq")};
  b.AddInput("input_ids", onnx::TensorProto_DataType_INT64, input_shape);
  b.AddInput("attention_mask", onnx::TensorProto_DataType_INT64, input_shape);
  const std::string axis1 = b.Int64Constant({1});
  const std::string axis2 = b.Int64Constant({2});
  std::string vectors = b.Node("Gather", {table.name, "input_ids"});
  // Gathering first and widening after keeps a float16 table at half the size in memory too.
  if (table.elem_type != onnx::TensorProto_DataType_FLOAT) vectors = CastToFloat(b, vectors);
  const std::string mask = CastToFloat(b, "attention_mask");
  const std::string masked = b.Node("Mul", {vectors, b.Node("Unsqueeze", {mask, axis2})});
  const std::string sum = b.Node("ReduceSum", {masked, axis1});
  SetKeepDims(b, false);
  const std::string count = b.Node("ReduceSum", {mask, axis1});
  SetKeepDims(b, true);
  b.Node("Div", {sum, count}, "sentence_embedding");
  b.AddOutput("sentence_embedding", onnx::TensorProto_DataType_FLOAT, {Symbolic("batch"), Fixed(table.width)});
}

}  // namespace quirvel::modelgen
