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
    "                              --output NAME=KIND [--output NAME=KIND ...]\n"
    "       quirvel-modelgen demo <out_dir> --jieba-dict <dir> [--width N]\n"
    "       quirvel-modelgen bert <out.onnx> [--preset small|large] [--seed N] [--hidden N]\n"
    "                              [--layers N] [--heads N] [--ff N] [--vocab N]\n"
    "                              [--max-positions N] [--vocab-file <vocab.txt>]\n"
    "kinds: sentence, sentence-symbolic, tokens, tokens-fixed:N, tokens-doubled,\n"
    "       scores, int64, gather-oob\n";

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

std::int64_t* BertSize(quirvel::modelgen::BertSpec& spec, const std::string& option) {
  if (option == "--hidden") return &spec.hidden;
  if (option == "--layers") return &spec.layers;
  if (option == "--heads") return &spec.heads;
  if (option == "--ff") return &spec.feed_forward;
  if (option == "--vocab") return &spec.vocab;
  if (option == "--max-positions") return &spec.max_positions;
  return nullptr;
}

quirvel::modelgen::OutputSpec ParseOutput(const std::string& text) {
  const std::size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0) throw std::runtime_error("expected NAME=KIND: " + text);
  return {text.substr(0, equals), text.substr(equals + 1)};
}

void RunModel(const std::vector<std::string>& args) {
  quirvel::modelgen::TestModelSpec spec;
  for (std::size_t i = 2; i < args.size(); ++i) {
    if (args[i] == "--width") {
      spec.width = std::stoll(NextValue(args, i));
    } else if (args[i] == "--token-type-ids") {
      spec.token_type_ids = true;
    } else if (args[i] == "--position-ids") {
      spec.position_ids = true;
    } else if (args[i] == "--output") {
      spec.outputs.push_back(ParseOutput(NextValue(args, i)));
    } else {
      throw std::runtime_error("unknown option: " + args[i]);
    }
  }
  quirvel::modelgen::WriteTestModel(spec, args[1]);
}

void RunDemo(const std::vector<std::string>& args) {
  quirvel::modelgen::DemoSpec spec;
  spec.out_dir = args[1];
  for (std::size_t i = 2; i < args.size(); ++i) {
    if (args[i] == "--jieba-dict") {
      spec.jieba_dict_dir = NextValue(args, i);
    } else if (args[i] == "--width") {
      spec.width = std::stoll(NextValue(args, i));
    } else {
      throw std::runtime_error("unknown option: " + args[i]);
    }
  }
  quirvel::modelgen::WriteDemoModel(spec);
}

// Sizes given after the preset override it, whatever their order on the line.
quirvel::modelgen::BertSpec ParseBert(const std::vector<std::string>& args, std::string& vocab_file) {
  quirvel::modelgen::BertSpec spec;
  for (std::size_t i = 2; i < args.size(); ++i) {
    if (args[i] == "--preset") spec = quirvel::modelgen::BertPreset(NextValue(args, i));
  }
  for (std::size_t i = 2; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (option == "--preset") {
      ++i;
    } else if (option == "--vocab-file") {
      vocab_file = NextValue(args, i);
    } else if (option == "--seed") {
      spec.seed = static_cast<std::uint64_t>(ParseInteger(option, NextValue(args, i)));
    } else if (std::int64_t* size = BertSize(spec, option)) {
      *size = ParseInteger(option, NextValue(args, i));
    } else {
      throw std::runtime_error("unknown option: " + option);
    }
  }
  return spec;
}

void RunBert(const std::vector<std::string>& args) {
  std::string vocab_file;
  const quirvel::modelgen::BertSpec spec = ParseBert(args, vocab_file);
  if (!vocab_file.empty()) quirvel::modelgen::WriteBertVocabulary(spec.vocab, vocab_file);
  quirvel::modelgen::WriteBertModel(spec, args[1]);
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
