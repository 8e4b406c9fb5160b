#include "tools/modelgen/demo_model.h"

#include <fstream>
#include <stdexcept>
#include <unordered_set>

#include "host/utf8.h"
#include "tools/modelgen/mean_pool_graph.h"

namespace quirvel::modelgen {
namespace {

constexpr std::int64_t kFirstOrdinaryId = 104;  // after [PAD], [unusedN], [UNK], [CLS], [SEP], [MASK]

std::vector<std::string> SpecialTokens() {
  std::vector<std::string> tokens = {"[PAD]"};
  for (int i = 1; i < 100; ++i) tokens.push_back("[unused" + std::to_string(i) + "]");
  for (const char* token : {"[UNK]", "[CLS]", "[SEP]", "[MASK]"}) tokens.push_back(token);
  return tokens;
}

// The tokenizer lower-cases ASCII, so only lower-case letters are needed.
void AddAscii(std::vector<std::string>& tokens) {
  for (char c = 0x21; c < 0x7F; ++c) {
    if (c < 'A' || c > 'Z') tokens.emplace_back(1, c);
  }
  for (char c = '0'; c <= 'z'; ++c) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z')) tokens.push_back(std::string("##") + c);
  }
}

void AddDictionaryCharacters(const std::string& path, std::vector<std::string>& tokens) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read Jieba dictionary: " + path);
  std::unordered_set<std::string> seen;
  std::string line;
  while (std::getline(in, line)) {
    const std::string word = line.substr(0, line.find(' '));
    for (std::string& character : SplitUtf8Chars(word)) {
      if (character.size() > 1 && seen.insert(character).second) tokens.push_back(std::move(character));
    }
  }
}

std::uint64_t Mix(std::uint64_t x) {  // splitmix64 finaliser
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

std::uint64_t HashText(const std::string& text) {
  std::uint64_t hash = 0xCBF29CE484222325ull;  // FNV-1a
  for (unsigned char c : text) hash = (hash ^ c) * 0x100000001B3ull;
  return hash;
}

// A continuation piece shares its letter's vector, so "##a" and "a" agree.
std::string BaseText(const std::string& token) { return token.rfind("##", 0) == 0 ? token.substr(2) : token; }

std::vector<float> RandomTable(const std::vector<std::string>& vocab, std::int64_t width) {
  std::vector<float> table(vocab.size() * static_cast<std::size_t>(width), 0.0f);
  for (std::size_t id = kFirstOrdinaryId; id < vocab.size(); ++id) {
    const std::uint64_t base = HashText(BaseText(vocab[id]));
    for (std::int64_t h = 0; h < width; ++h) {
      const std::uint64_t bits = Mix(base ^ Mix(static_cast<std::uint64_t>(h)));
      table[id * static_cast<std::size_t>(width) + static_cast<std::size_t>(h)] =
          static_cast<float>(bits >> 40) / static_cast<float>(1ull << 23) - 1.0f;
    }
  }
  return table;
}

void WriteVocabulary(const std::vector<std::string>& vocab, const std::string& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (const std::string& token : vocab) out << token << '\n';
  if (!out) throw std::runtime_error("cannot write vocabulary: " + path);
}

}  // namespace

std::vector<std::string> SpecialAndAsciiTokens() {
  std::vector<std::string> tokens = SpecialTokens();
  AddAscii(tokens);
  return tokens;
}

std::vector<std::string> DemoVocabulary(const std::string& jieba_dict_file) {
  std::vector<std::string> tokens = SpecialAndAsciiTokens();
  AddDictionaryCharacters(jieba_dict_file, tokens);
  return tokens;
}

void WriteDemoModel(const DemoRequest& request) {
  if (request.jieba_dict_dir.empty()) throw std::runtime_error("--jieba-dict is required");
  if (request.width < 1) throw std::runtime_error("width must be at least 1");
  const std::vector<std::string> vocab = DemoVocabulary(request.jieba_dict_dir + "/jieba.dict.utf8");
  const auto rows = static_cast<std::int64_t>(vocab.size());
  GraphBuilder builder;
  const std::string table = builder.FloatConstant(RandomTable(vocab, request.width), {rows, request.width});
  BuildMeanPoolGraph(builder, {table, onnx::TensorProto_DataType_FLOAT, rows, request.width});
  builder.Save(request.out_dir + "/model.onnx");
  WriteVocabulary(vocab, request.out_dir + "/vocab.txt");
}

}  // namespace quirvel::modelgen
