#include "tools/tokenize/tokenize_tool.h"

#include <cstdint>
#include <istream>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <unordered_map>

#include "tokenizers/tokenizer.h"
#include "tools/options/tool_options.h"

namespace quirvel {
namespace {

constexpr const char* kUsage =
    "usage: quirvel_tokenize [--max-length N] [--tokens] TOKENIZER_FILE < lines\n"
    "  TOKENIZER_FILE  a tokenizer .json description or a plain vocab.txt\n"
    "  --max-length N  cut every encoding to at most N ids (default 0: no cut)\n"
    "  --tokens        print the token texts instead of the ids\n";

struct ToolOptions {
  std::string tokenizer_path;
  std::int32_t max_length = 0;
  bool print_tokens = false;
};

// Returns nullopt (with the reason written to err) when the command line is unusable.
std::optional<ToolOptions> ParseToolArgs(const std::vector<std::string>& args, std::ostream& err) {
  ToolOptions options;
  cli::OptionParser parser;
  parser.Switch("--tokens", [&] { options.print_tokens = true; })
      .Value("--max-length",
             [&](auto& name, auto& value) {
               options.max_length = cli::ParseInteger<std::int32_t>(name, value, 0);
             })
      .Positional("TOKENIZER_FILE", [&](auto&, auto& value) { options.tokenizer_path = value; });
  try {
    parser.Parse(args);
  } catch (const cli::UsageError& error) {
    err << "bad argument: " << error.what() << "\n" << kUsage;
    return std::nullopt;
  }
  if (options.tokenizer_path.empty()) {
    err << kUsage;
    return std::nullopt;
  }
  return options;
}

using TokenTexts = std::unordered_map<std::int64_t, std::string>;

TokenTexts TokensById(const Tokenizer& tokenizer) {
  TokenTexts tokens;
  for (const auto& [text, entry] : tokenizer.vocabulary()) tokens.emplace(entry.id, text);
  return tokens;
}

// Ids without a vocabulary entry (a default special id) print as null.
nlohmann::json TokensOf(const std::vector<std::int64_t>& ids, const TokenTexts& tokens) {
  nlohmann::json texts = nlohmann::json::array();
  for (const std::int64_t id : ids) {
    const auto found = tokens.find(id);
    texts.push_back(found == tokens.end() ? nlohmann::json() : nlohmann::json(found->second));
  }
  return texts;
}

void EncodeLines(const Tokenizer& tokenizer, const ToolOptions& options, std::istream& in,
                 std::ostream& out) {
  const TokenTexts tokens = options.print_tokens ? TokensById(tokenizer) : TokenTexts();
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::vector<std::int64_t> ids = tokenizer.encode(line, options.max_length);
    const nlohmann::json row = options.print_tokens ? TokensOf(ids, tokens) : nlohmann::json(ids);
    // Token texts of a plain vocabulary may hold bytes that are not UTF-8.
    out << row.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
  }
}

}  // namespace

int RunTokenizeTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                    std::ostream& err) {
  const std::optional<ToolOptions> options = ParseToolArgs(args, err);
  if (!options) return 2;
  try {
    const Tokenizer tokenizer(options->tokenizer_path);
    EncodeLines(tokenizer, *options, in, out);
  } catch (const std::exception& error) {
    err << "error: " << error.what() << "\n";
    return 1;
  }
  out.flush();
  return 0;
}

}  // namespace quirvel
