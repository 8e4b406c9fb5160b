// Tokenizer loading on arbitrary bytes, as a JSON description or as a plain
// vocabulary: the loader either refuses with an error or yields a tokenizer
// whose encode keeps its frame.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tokenizers/tokenizer.h"

namespace {

using quirvel::fuzz::Require;

constexpr const char* kSampleTexts[] = {"iPhone 15 Pro 256GB 黑色手机壳", "Hello world", "", "\xff\xfe ab\xe4"};

void CheckEncodeFrame(const quirvel::Tokenizer& tokenizer, const std::string& text, std::int32_t max_length) {
  const std::vector<std::int64_t> ids = tokenizer.encode(text, max_length);
  Require(!ids.empty() && ids.back() == tokenizer.end_id(), "the ids end with the end id", text);
  if (max_length >= 1) {
    const std::size_t limit = std::max<std::size_t>(static_cast<std::size_t>(max_length), 2);
    Require(ids.size() <= limit, "max_length cuts the ids", text);
  }
}

void LoadAndEncode(const std::string& path) {
  std::unique_ptr<quirvel::Tokenizer> tokenizer;
  try {
    tokenizer = std::make_unique<quirvel::Tokenizer>(path);
  } catch (const std::runtime_error& error) {
    Require(error.what()[0] != '\0', "a refused file has a message");
    return;
  }
  for (const char* text : kSampleTexts) {
    CheckEncodeFrame(*tokenizer, text, 0);
    CheckEncodeFrame(*tokenizer, text, 5);
    CheckEncodeFrame(*tokenizer, text, 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte chooses how the file is named, and so how it is read.
  const char* name = (data[0] & 1) != 0 ? "tokenizer.json" : "vocab.txt";
  const quirvel::fuzz::ScratchFile file(name, quirvel::fuzz::AsText(data + 1, size - 1));
  LoadAndEncode(file.path());
  return 0;
}
