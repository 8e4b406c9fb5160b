#include "tools/modelgen/graph_builder.h"

#include <fstream>
#include <stdexcept>
#include <utility>

namespace quirvel::modelgen {
namespace {

constexpr std::int64_t kIrVersion = 8;

void SetShape(onnx::ValueInfoProto& info, std::int32_t elem_type, const std::vector<Dim>& shape) {
  onnx::TypeProto_Tensor* tensor = info.mutable_type()->mutable_tensor_type();
  tensor->set_elem_type(elem_type);
  onnx::TensorShapeProto* dims = tensor->mutable_shape();
  for (const Dim& dim : shape) {
    onnx::TensorShapeProto_Dimension* entry = dims->add_dim();
    if (dim.symbol.empty()) {
      entry->set_dim_value(dim.size);
    } else {
      entry->set_dim_param(dim.symbol);
    }
  }
}

}  // namespace

Dim Fixed(std::int64_t size) { return Dim{size, ""}; }
Dim Symbolic(const std::string& name) { return Dim{0, name}; }

GraphBuilder::GraphBuilder(std::int64_t opset_version) : graph_(model_.mutable_graph()) {
  model_.set_ir_version(kIrVersion);
  model_.set_producer_name("quirvel-modelgen");
  onnx::OperatorSetIdProto* opset = model_.add_opset_import();
  opset->set_domain("");
  opset->set_version(opset_version);
  graph_->set_name("quirvel_test_model");
}

void GraphBuilder::AddInput(const std::string& name, std::int32_t elem_type, const std::vector<Dim>& shape) {
  onnx::ValueInfoProto* info = graph_->add_input();
  info->set_name(name);
  SetShape(*info, elem_type, shape);
}

void GraphBuilder::AddOutput(const std::string& name, std::int32_t elem_type, const std::vector<Dim>& shape) {
  onnx::ValueInfoProto* info = graph_->add_output();
  info->set_name(name);
  SetShape(*info, elem_type, shape);
}

std::string GraphBuilder::Int64Constant(const std::vector<std::int64_t>& values) {
  onnx::TensorProto* tensor = graph_->add_initializer();
  const std::string name = Fresh("const_i64");
  tensor->set_name(name);
  tensor->set_data_type(onnx::TensorProto_DataType_INT64);
  tensor->add_dims(static_cast<std::int64_t>(values.size()));
  for (std::int64_t value : values) tensor->add_int64_data(value);
  return name;
}

std::string GraphBuilder::FloatConstant(const std::vector<float>& values,
                                        const std::vector<std::int64_t>& shape) {
  onnx::TensorProto* tensor = graph_->add_initializer();
  const std::string name = Fresh("const_f32");
  tensor->set_name(name);
  tensor->set_data_type(onnx::TensorProto_DataType_FLOAT);
  for (std::int64_t dim : shape) tensor->add_dims(dim);
  // Raw little-endian bytes keep large tables compact in the file.
  tensor->set_raw_data(
      std::string(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(float)));
  return name;
}

std::string GraphBuilder::RawFloatConstant(std::string&& bytes, const std::vector<std::int64_t>& shape) {
  return RawConstant(std::move(bytes), onnx::TensorProto_DataType_FLOAT, shape);
}

std::string GraphBuilder::RawConstant(std::string&& bytes, std::int32_t elem_type,
                                      const std::vector<std::int64_t>& shape) {
  onnx::TensorProto* tensor = graph_->add_initializer();
  const std::string name = Fresh("const_raw");
  tensor->set_name(name);
  tensor->set_data_type(elem_type);
  for (std::int64_t dim : shape) tensor->add_dims(dim);
  tensor->set_raw_data(std::move(bytes));
  return name;
}

std::string GraphBuilder::Node(const std::string& op, const std::vector<std::string>& inputs,
                               const std::string& output) {
  onnx::NodeProto* node = graph_->add_node();
  node->set_op_type(op);
  node->set_name(Fresh(op));
  for (const std::string& input : inputs) node->add_input(input);
  const std::string result = output.empty() ? Fresh(op + "_out") : output;
  node->add_output(result);
  return result;
}

std::vector<std::string> GraphBuilder::MultiNode(const std::string& op,
                                                 const std::vector<std::string>& inputs, int outputs) {
  onnx::NodeProto* node = graph_->add_node();
  node->set_op_type(op);
  node->set_name(Fresh(op));
  for (const std::string& input : inputs) node->add_input(input);
  std::vector<std::string> names;
  for (int i = 0; i < outputs; ++i) {
    names.push_back(Fresh(op + "_out"));
    node->add_output(names.back());
  }
  return names;
}

onnx::NodeProto& GraphBuilder::LastNode() { return *graph_->mutable_node(graph_->node_size() - 1); }

void GraphBuilder::AddMetadata(const std::string& key, const std::string& value) {
  onnx::StringStringEntryProto* entry = model_.add_metadata_props();
  entry->set_key(key);
  entry->set_value(value);
}

void GraphBuilder::Save(const std::string& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out || !model_.SerializeToOstream(&out)) throw std::runtime_error("cannot write model: " + path);
}

void GraphBuilder::SaveWithExternalData(const std::string& path) {
  const std::string data_path = path + "_data";
  const std::string location = data_path.substr(data_path.find_last_of("/\\") + 1);
  std::ofstream data(data_path, std::ios::binary | std::ios::trunc);
  std::int64_t offset = 0;
  for (onnx::TensorProto& tensor : *graph_->mutable_initializer()) {
    if (!tensor.has_raw_data()) continue;
    const auto length = static_cast<std::int64_t>(tensor.raw_data().size());
    data.write(tensor.raw_data().data(), length);
    tensor.clear_raw_data();
    tensor.set_data_location(onnx::TensorProto_DataLocation_EXTERNAL);
    for (const auto& [key, value] : {std::pair<std::string, std::string>{"location", location},
                                     {"offset", std::to_string(offset)},
                                     {"length", std::to_string(length)}}) {
      onnx::StringStringEntryProto* entry = tensor.add_external_data();
      entry->set_key(key);
      entry->set_value(value);
    }
    offset += length;
  }
  if (!data) throw std::runtime_error("cannot write model data: " + data_path);
  Save(path);
}

std::string GraphBuilder::Fresh(const std::string& stem) { return stem + "_" + std::to_string(counter_++); }

void SetIntAttribute(onnx::NodeProto& node, const std::string& name, std::int64_t value) {
  onnx::AttributeProto* attribute = node.add_attribute();
  attribute->set_name(name);
  attribute->set_type(onnx::AttributeProto_AttributeType_INT);
  attribute->set_i(value);
}

}  // namespace quirvel::modelgen
