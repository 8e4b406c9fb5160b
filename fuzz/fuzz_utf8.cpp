// The UTF-8 helpers on arbitrary bytes: splitting loses and invents nothing,
// counting agrees with splitting, truncation keeps whole characters of a prefix.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "host/utf8.h"

namespace {

using quirvel::fuzz::Require;

void CheckSplit(std::string_view text) {
  const std::vector<std::string> chars = quirvel::SplitUtf8Chars(text);
  std::string joined;
  std::size_t pos = 0;
  for (const std::string& character : chars) {
    Require(!character.empty() && character.size() <= 4, "a character is 1 to 4 bytes", character);
    Require(character.size() == quirvel::Utf8CharLengthAt(text, pos), "a character has its lead byte's length");
    pos += character.size();
    joined += character;
  }
  Require(joined == text, "the characters join back to the text");
  Require(chars.size() == quirvel::CountUtf8Chars(text), "the count equals the number of characters");
}

// Truncating to n characters gives the first n characters of the split.
void CheckTruncate(std::string_view text, std::size_t n) {
  const std::string cut = quirvel::TruncateUtf8Chars(text, n);
  Require(text.substr(0, cut.size()) == cut, "a truncation is a prefix");
  const std::size_t count = quirvel::CountUtf8Chars(text);
  Require(quirvel::CountUtf8Chars(cut) == (n < count ? n : count), "a truncation keeps min(n, count) characters");
  Require(quirvel::TruncateUtf8Chars(cut, n) == cut, "truncating twice changes nothing");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte chooses the truncation length; the rest is the text.
  const std::size_t n = data[0] % 40;
  const std::string_view text = quirvel::fuzz::AsText(data + 1, size - 1);
  CheckSplit(text);
  CheckTruncate(text, n);
  CheckTruncate(text, text.size());
  for (const char byte : text) (void)quirvel::IsWordChar(static_cast<unsigned char>(byte));
  return 0;
}
