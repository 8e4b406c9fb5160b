// quirvel-modelgen: writes small deterministic ONNX models for the embedding
// engine's tests and benchmarks, and the character-level demo model.
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/modelgen/demo_model.h"
#include "tools/modelgen/test_models.h"

namespace {

constexpr const char* kUsage =
    "usage: quirvel-modelgen model <out.onnx> [--width N] [--token-type-ids] [--position-ids]\n"
    "                              --output NAME=KIND [--output NAME=KIND ...]\n"
    "       quirvel-modelgen demo <out_dir> --jieba-dict <dir> [--width N]\n"
    "kinds: sentence, sentence-symbolic, tokens, tokens-fixed:N, tokens-doubled,\n"
    "       scores, int64, gather-oob\n";

std::string NextValue(const std::vector<std::string>& args, std::size_t& i) {
  if (i + 1 >= args.size()) throw std::runtime_error("missing value after " + args[i]);
  return args[++i];
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

int Run(const std::vector<std::string>& args) {
  if (args.size() < 2) throw std::runtime_error("missing command or output path");
  if (args[0] == "model") return RunModel(args), 0;
  if (args[0] == "demo") return RunDemo(args), 0;
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
