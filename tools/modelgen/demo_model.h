// The README's demo model: one pseudo-random but deterministic vector per
// character of the Jieba dictionary (plus ASCII), mean-pooled over the attention
// mask into a 2D "sentence_embedding", written with its own BERT-style vocab.txt.
// Texts that share characters get similar vectors; nothing more is claimed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quirvel::modelgen {

struct DemoRequest {
  std::string out_dir;         // receives model.onnx and vocab.txt
  std::string jieba_dict_dir;  // holds jieba.dict.utf8
  std::int64_t width = 256;
};

// [PAD]=0, [unusedN], [UNK]=100, [CLS]=101, [SEP]=102, [MASK]=103, then
// printable ASCII (lower-case letters only) and "##" letters and digits.
std::vector<std::string> SpecialAndAsciiTokens();

// The vocabulary lines: [PAD]=0, [UNK]=100, [CLS]=101, [SEP]=102, [MASK]=103,
// then ASCII, "##" continuations of letters and digits, then the dictionary's
// characters in order of first appearance.
std::vector<std::string> DemoVocabulary(const std::string& jieba_dict_file);

void WriteDemoModel(const DemoRequest& request);

}  // namespace quirvel::modelgen
