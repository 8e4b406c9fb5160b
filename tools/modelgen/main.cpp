// quirvel-modelgen: writes small deterministic ONNX models for the embedding
// engine's tests and benchmarks, the character-level demo model, and BERT-shaped
// encoders with random weights for measuring transformer cost, and the
// default model's graph around a table of vectors built elsewhere.
#include <cstdint>
#include <functional>
#include <iostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "tools/modelgen/bert_model.h"
#include "tools/modelgen/demo_model.h"
#include "tools/modelgen/static_model.h"
#include "tools/modelgen/test_models.h"
#include "tools/options/tool_options.h"

namespace {

constexpr const char* kUsage =
    "usage: quirvel-modelgen model <out.onnx> [--width N] [--token-type-ids] [--position-ids]\n"
    "                              [--decoder LAYERS[:HEADS:HEAD_SIZE]] [--float16] [--external-data]\n"
    "                              [--metadata KEY=VALUE ...]\n"
    "                              --output NAME=KIND[@WIDTH] [--output NAME=KIND[@WIDTH] ...]\n"
    "       quirvel-modelgen demo <out_dir> --jieba-dict <dir> [--width N]\n"
    "       quirvel-modelgen static <out.onnx> --table <rows.bin> --width N [--float16]\n"
    "       quirvel-modelgen bert <out.onnx> [--preset small|large|qwen3] [--random-state N] [--hidden N]\n"
    "                              [--layers N] [--heads N] [--ff N] [--vocab N]\n"
    "                              [--max-positions N] [--vocab-file <vocab.txt>] [--int8]\n"
    "kinds: sentence, sentence-symbolic, tokens, tokens-fixed:N, tokens-doubled,\n"
    "       tokens-after-first, scores, int64, gather-oob, fails-on:ID\n";

using quirvel::cli::OptionParser;
using quirvel::cli::ParseInteger;
using quirvel::modelgen::BertShape;

// The options after the command and its output path.
std::vector<std::string> OptionsOf(const std::vector<std::string>& args) {
  return {args.begin() + 2, args.end()};
}

// NAME=VALUE, split at the first '='; `form` names the two parts in the error.
std::pair<std::string, std::string> SplitAssignment(const std::string& text, const std::string& form) {
  const std::size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0) throw std::runtime_error("expected " + form + ": " + text);
  return {text.substr(0, equals), text.substr(equals + 1)};
}

quirvel::modelgen::OutputRequest ParseOutput(const std::string& text) {
  auto [name, kind] = SplitAssignment(text, "NAME=KIND");
  return {std::move(name), std::move(kind)};
}

// LAYERS, or LAYERS:HEADS:HEAD_SIZE (default 8 heads of 128, as Qwen3-Embedding-0.6B).
void ParseDecoder(const std::string& option, const std::string& text,
                  quirvel::modelgen::TestModelLayout& layout) {
  const std::size_t first = text.find(':');
  layout.decoder_layers = ParseInteger<std::int64_t>(option, text.substr(0, first));
  if (first == std::string::npos) return;
  const std::size_t second = text.find(':', first + 1);
  if (second == std::string::npos)
    throw std::runtime_error("expected LAYERS:HEADS:HEAD_SIZE after " + option);
  layout.decoder_heads = ParseInteger<std::int64_t>(option, text.substr(first + 1, second - first - 1));
  layout.decoder_head_size = ParseInteger<std::int64_t>(option, text.substr(second + 1));
}

void RunModel(const std::vector<std::string>& args) {
  quirvel::modelgen::TestModelLayout layout;
  OptionParser()
      .Value("--width", [&](auto& k, auto& v) { layout.width = ParseInteger<std::int64_t>(k, v); })
      .Switch("--token-type-ids", [&] { layout.token_type_ids = true; })
      .Switch("--position-ids", [&] { layout.position_ids = true; })
      .Value("--output", [&](auto&, auto& v) { layout.outputs.push_back(ParseOutput(v)); })
      .Value("--decoder", [&](auto& k, auto& v) { ParseDecoder(k, v, layout); })
      .Switch("--float16", [&] { layout.float16 = true; })
      .Switch("--external-data", [&] { layout.external_data = true; })
      .Value("--metadata", [&](auto&, auto& v) { layout.metadata.push_back(SplitAssignment(v, "KEY=VALUE")); })
      .Parse(OptionsOf(args));
  quirvel::modelgen::WriteTestModel(layout, args[1]);
}

void RunDemo(const std::vector<std::string>& args) {
  quirvel::modelgen::DemoRequest request;
  request.out_dir = args[1];
  OptionParser()
      .Value("--jieba-dict", [&](auto&, auto& v) { request.jieba_dict_dir = v; })
      .Value("--width", [&](auto& k, auto& v) { request.width = ParseInteger<std::int64_t>(k, v); })
      .Parse(OptionsOf(args));
  quirvel::modelgen::WriteDemoModel(request);
}

void RunStatic(const std::vector<std::string>& args) {
  quirvel::modelgen::StaticModelRequest request;
  request.out_path = args[1];
  OptionParser()
      .Value("--table", [&](auto&, auto& v) { request.table_path = v; })
      .Value("--width", [&](auto& k, auto& v) { request.width = ParseInteger<std::int64_t>(k, v); })
      .Switch("--float16", [&] { request.float16 = true; })
      .Parse(OptionsOf(args));
  if (request.table_path.empty()) throw std::runtime_error("--table is required");
  quirvel::modelgen::WriteStaticModel(request);
}

using BertChange = std::function<void(BertShape&)>;

// A size option: its value is read at once and set on the shape once the
// preset it overrides is known.
OptionParser::ValueHandler SizeOption(std::vector<BertChange>& changes, std::int64_t BertShape::*size) {
  return [&changes, size](const std::string& name, const std::string& text) {
    const std::int64_t value = ParseInteger<std::int64_t>(name, text);
    changes.push_back([size, value](BertShape& shape) { shape.*size = value; });
  };
}

// Sizes given after the preset override it, whatever their order on the line.
BertShape ParseBert(const std::vector<std::string>& args, std::string& vocab_file) {
  std::string preset;
  std::vector<BertChange> changes;
  OptionParser()
      .Value("--preset", [&](auto&, auto& v) { preset = v; })
      .Value("--vocab-file", [&](auto&, auto& v) { vocab_file = v; })
      .Switch("--int8", [&] { changes.push_back([](BertShape& shape) { shape.int8 = true; }); })
      .Value("--random-state",
             [&](auto& k, auto& v) {
               const std::uint64_t random_state = ParseInteger<std::uint64_t>(k, v);
               changes.push_back([random_state](BertShape& shape) { shape.random_state = random_state; });
             })
      .Value("--hidden", SizeOption(changes, &BertShape::hidden))
      .Value("--layers", SizeOption(changes, &BertShape::layers))
      .Value("--heads", SizeOption(changes, &BertShape::heads))
      .Value("--ff", SizeOption(changes, &BertShape::feed_forward))
      .Value("--vocab", SizeOption(changes, &BertShape::vocab))
      .Value("--max-positions", SizeOption(changes, &BertShape::max_positions))
      .Parse(OptionsOf(args));
  BertShape shape = preset.empty() ? BertShape() : quirvel::modelgen::BertPreset(preset);
  for (const BertChange& change : changes) change(shape);
  return shape;
}

void RunBert(const std::vector<std::string>& args) {
  std::string vocab_file;
  const BertShape shape = ParseBert(args, vocab_file);
  if (!vocab_file.empty()) quirvel::modelgen::WriteBertVocabulary(shape.vocab, vocab_file);
  quirvel::modelgen::WriteBertModel(shape, args[1]);
}

int Run(const std::vector<std::string>& args) {
  if (args.size() < 2) throw std::runtime_error("missing command or output path");
  if (args[0] == "model") return RunModel(args), 0;
  if (args[0] == "demo") return RunDemo(args), 0;
  if (args[0] == "static") return RunStatic(args), 0;
  if (args[0] == "bert") return RunBert(args), 0;
  throw std::runtime_error("unknown command: " + args[0]);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& error) {
    std::cerr << "quirvel-modelgen: " << error.what() << "\n" << kUsage;
    return 2;
  }
}
