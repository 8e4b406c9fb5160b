// quirvel-modelgen: writes small deterministic ONNX models for the embedding
// engine's tests and benchmarks, the character-level demo model, and BERT-shaped
// encoders with random weights for measuring transformer cost.
#include <cstdint>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/modelgen/bert_model.h"
#include "tools/modelgen/demo_model.h"
#include "tools/modelgen/test_models.h"

namespace {

constexpr const char* kUsage =
    "usage: quirvel-modelgen model <out.onnx> [--width N] [--token-type-ids] [--position-ids]\n"
    "                              [--decoder LAYERS[:HEADS:HEAD_SIZE]] [--float16] [--external-data]\n"
    "                              --output NAME=KIND[@WIDTH] [--output NAME=KIND[@WIDTH] ...]\n"
    "       quirvel-modelgen demo <out_dir> --jieba-dict <dir> [--width N]\n"
    "       quirvel-modelgen bert <out.onnx> [--preset small|large|qwen3] [--random-state N] [--hidden N]\n"
    "                              [--layers N] [--heads N] [--ff N] [--vocab N]\n"
    "                              [--max-positions N] [--vocab-file <vocab.txt>] [--int8]\n"
    "kinds: sentence, sentence-symbolic, tokens, tokens-fixed:N, tokens-doubled,\n"
    "       tokens-after-first, scores, int64, gather-oob, fails-on:ID\n";

std::string NextValue(const std::vector<std::string>& args, std::size_t& i) {
  if (i + 1 >= args.size()) throw std::runtime_error("missing value after " + args[i]);
  return args[++i];
}

std::int64_t ParseInteger(const std::string& option, const std::string& text) {
  std::size_t used = 0;
  try {
    const std::int64_t value = std::stoll(text, &used);
    if (used == text.size()) return value;
  } catch (const std::exception&) {
  }
  throw std::runtime_error("expected an integer after " + option + ": " + text);
}

std::int64_t* BertSize(quirvel::modelgen::BertShape& shape, const std::string& option) {
  if (option == "--hidden") return &shape.hidden;
  if (option == "--layers") return &shape.layers;
  if (option == "--heads") return &shape.heads;
  if (option == "--ff") return &shape.feed_forward;
  if (option == "--vocab") return &shape.vocab;
  if (option == "--max-positions") return &shape.max_positions;
  return nullptr;
}

quirvel::modelgen::OutputRequest ParseOutput(const std::string& text) {
  const std::size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0) throw std::runtime_error("expected NAME=KIND: " + text);
  return {text.substr(0, equals), text.substr(equals + 1)};
}

// LAYERS, or LAYERS:HEADS:HEAD_SIZE (default 8 heads of 128, as Qwen3-Embedding-0.6B).
void ParseDecoder(const std::string& option, const std::string& text,
                  quirvel::modelgen::TestModelLayout& layout) {
  const std::size_t first = text.find(':');
  layout.decoder_layers = ParseInteger(option, text.substr(0, first));
  if (first == std::string::npos) return;
  const std::size_t second = text.find(':', first + 1);
  if (second == std::string::npos)
    throw std::runtime_error("expected LAYERS:HEADS:HEAD_SIZE after " + option);
  layout.decoder_heads = ParseInteger(option, text.substr(first + 1, second - first - 1));
  layout.decoder_head_size = ParseInteger(option, text.substr(second + 1));
}

void RunModel(const std::vector<std::string>& args) {
  quirvel::modelgen::TestModelLayout layout;
  for (std::size_t i = 2; i < args.size(); ++i) {
    if (args[i] == "--width") {
      layout.width = std::stoll(NextValue(args, i));
    } else if (args[i] == "--token-type-ids") {
      layout.token_type_ids = true;
    } else if (args[i] == "--position-ids") {
      layout.position_ids = true;
    } else if (args[i] == "--output") {
      layout.outputs.push_back(ParseOutput(NextValue(args, i)));
    } else if (args[i] == "--decoder") {
      ParseDecoder(args[i], NextValue(args, i), layout);
    } else if (args[i] == "--float16") {
      layout.float16 = true;
    } else if (args[i] == "--external-data") {
      layout.external_data = true;
    } else {
      throw std::runtime_error("unknown option: " + args[i]);
    }
  }
  quirvel::modelgen::WriteTestModel(layout, args[1]);
}

void RunDemo(const std::vector<std::string>& args) {
  quirvel::modelgen::DemoRequest request;
  request.out_dir = args[1];
  for (std::size_t i = 2; i < args.size(); ++i) {
    if (args[i] == "--jieba-dict") {
      request.jieba_dict_dir = NextValue(args, i);
    } else if (args[i] == "--width") {
      request.width = std::stoll(NextValue(args, i));
    } else {
      throw std::runtime_error("unknown option: " + args[i]);
    }
  }
  quirvel::modelgen::WriteDemoModel(request);
}

// Sizes given after the preset override it, whatever their order on the line.
quirvel::modelgen::BertShape ParseBert(const std::vector<std::string>& args, std::string& vocab_file) {
  quirvel::modelgen::BertShape shape;
  for (std::size_t i = 2; i < args.size(); ++i) {
    if (args[i] == "--preset") shape = quirvel::modelgen::BertPreset(NextValue(args, i));
  }
  for (std::size_t i = 2; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (option == "--preset") {
      ++i;
    } else if (option == "--vocab-file") {
      vocab_file = NextValue(args, i);
    } else if (option == "--int8") {
      shape.int8 = true;
    } else if (option == "--random-state") {
      shape.random_state = static_cast<std::uint64_t>(ParseInteger(option, NextValue(args, i)));
    } else if (std::int64_t* size = BertSize(shape, option)) {
      *size = ParseInteger(option, NextValue(args, i));
    } else {
      throw std::runtime_error("unknown option: " + option);
    }
  }
  return shape;
}

void RunBert(const std::vector<std::string>& args) {
  std::string vocab_file;
  const quirvel::modelgen::BertShape shape = ParseBert(args, vocab_file);
  if (!vocab_file.empty()) quirvel::modelgen::WriteBertVocabulary(shape.vocab, vocab_file);
  quirvel::modelgen::WriteBertModel(shape, args[1]);
}

int Run(const std::vector<std::string>& args) {
  if (args.size() < 2) throw std::runtime_error("missing command or output path");
  if (args[0] == "model") return RunModel(args), 0;
  if (args[0] == "demo") return RunDemo(args), 0;
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
