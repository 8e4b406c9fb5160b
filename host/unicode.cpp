#include "host/unicode.h"

namespace quirvel {
namespace {

bool IsContinuationByte(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Continuation bytes a lead byte announces; -1 for a byte that cannot start a
// character (0xC0, 0xC1 and 0xF5 and above only start overlong or out-of-range forms).
int ContinuationCount(unsigned char lead) {
  if (lead < 0x80) return 0;
  if (lead >= 0xC2 && lead <= 0xDF) return 1;
  if (lead >= 0xE0 && lead <= 0xEF) return 2;
  if (lead >= 0xF0 && lead <= 0xF4) return 3;
  return -1;
}

// Overlong forms decode to a code point that a shorter sequence could hold.
bool IsShortestForm(char32_t code_point, int continuations) {
  static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
  return code_point >= kMinimum[continuations];
}

}  // namespace

DecodedChar DecodeUtf8At(std::string_view text, std::size_t pos) {
  if (pos >= text.size()) return {};
  const auto lead = static_cast<unsigned char>(text[pos]);
  const int continuations = ContinuationCount(lead);
  if (continuations < 0 || text.size() - pos <= static_cast<std::size_t>(continuations)) return {};
  static constexpr unsigned char kLeadMask[] = {0x7F, 0x1F, 0x0F, 0x07};
  char32_t code_point = lead & kLeadMask[continuations];
  for (int k = 1; k <= continuations; ++k) {
    const auto byte = static_cast<unsigned char>(text[pos + static_cast<std::size_t>(k)]);
    if (!IsContinuationByte(byte)) return {};
    code_point = (code_point << 6) | (byte & 0x3F);
  }
  if (!IsScalarValue(code_point) || !IsShortestForm(code_point, continuations)) return {};
  return {code_point, static_cast<std::size_t>(continuations) + 1};
}

bool IsValidUtf8(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    const DecodedChar decoded = DecodeUtf8At(text, pos);
    if (decoded.length == 0) return false;
    pos += decoded.length;
  }
  return true;
}

bool IsScalarValue(char32_t code_point) {
  return code_point <= 0x10FFFF && (code_point < 0xD800 || code_point > 0xDFFF);
}

void AppendUtf8(std::string& out, char32_t code_point) {
  if (code_point < 0x80) {
    out += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    out += static_cast<char>(0xC0 | (code_point >> 6));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    out += static_cast<char>(0xE0 | (code_point >> 12));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code_point >> 18));
    out += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  }
}

bool IsHanCodePoint(char32_t cp) {
  return (cp >= 0x3400 && cp <= 0x4DBF) || (cp >= 0x4E00 && cp <= 0x9FFF) || (cp >= 0xF900 && cp <= 0xFAFF) ||
         (cp >= 0x20000 && cp <= 0x2A6DF) || (cp >= 0x2A700 && cp <= 0x2B81F) ||
         (cp >= 0x2B820 && cp <= 0x2CEAF);
}

}  // namespace quirvel
