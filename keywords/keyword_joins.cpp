// The greedy joins that turn the ranked candidates into the keyword text.
#include <algorithm>

#include "host/utf8.h"
#include "keywords/keyword_model.h"

namespace quirvel {
namespace {

bool IsModelByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x80 && IsWordChar(byte);
}

// One blank keeps two ASCII words apart; it counts against the budget.
std::size_t SeparatorLength(const std::string& out, const std::string& piece) {
  return !out.empty() && !piece.empty() && IsModelByte(out.back()) && IsModelByte(piece.front()) ? 1 : 0;
}

bool Contains(const std::string& haystack, const std::string& needle) {
  return haystack.find(needle) != std::string::npos;
}

// A chosen text equal to, inside of, or around the new one makes it redundant.
bool OverlapsChosenText(const std::vector<std::string>& chosen, const std::string& text) {
  return std::any_of(chosen.begin(), chosen.end(),
                     [&](const std::string& c) { return Contains(c, text) || Contains(text, c); });
}

bool HasSpan(const RankedCandidate& r) { return r.end > r.start; }

bool SpansOverlap(const RankedCandidate& a, const RankedCandidate& b) {
  return HasSpan(a) && HasSpan(b) && a.start < b.end && b.start < a.end;
}

bool OverlapsChosenSpan(const std::vector<const RankedCandidate*>& chosen, const RankedCandidate& r) {
  return std::any_of(chosen.begin(), chosen.end(),
                     [&](const RankedCandidate* c) { return SpansOverlap(*c, r); });
}

enum class Fit { Append, Skip, Stop };

// Whether `piece` can go after `out` within max_len characters. A piece that
// does not fit is skipped, not the end: a shorter one further down may fit.
Fit FitPiece(const std::string& out, const std::string& piece, std::size_t max_len) {
  const std::size_t current = CountUtf8Chars(out);
  if (current >= max_len) return Fit::Stop;
  const std::size_t length = CountUtf8Chars(piece);
  if (length == 0) return Fit::Skip;
  return SeparatorLength(out, piece) + length + current > max_len ? Fit::Skip : Fit::Append;
}

void AppendPiece(std::string& out, const std::string& piece) {
  if (SeparatorLength(out, piece) == 1) out += ' ';
  out += piece;
}

}  // namespace

std::string JoinRankedTexts(const std::vector<std::string>& texts, const std::string& normalized_title,
                            std::size_t max_len) {
  std::string out;
  std::vector<std::string> chosen;
  for (const std::string& text : texts) {
    if (text.empty() || OverlapsChosenText(chosen, text)) continue;
    const Fit fit = FitPiece(out, text, max_len);
    if (fit == Fit::Stop) break;
    if (fit == Fit::Skip) continue;
    AppendPiece(out, text);
    chosen.push_back(text);
  }
  return out.empty() ? TruncateUtf8Chars(normalized_title, max_len) : out;
}

void JoinRankedSpans(ExtractionResult& result, const std::vector<RankedCandidate>& ranked,
                     std::size_t max_len) {
  std::string out;
  std::vector<std::string> chosen_texts;
  std::vector<const RankedCandidate*> chosen;
  for (const RankedCandidate& r : ranked) {
    if (r.text.empty() || OverlapsChosenText(chosen_texts, r.text) || OverlapsChosenSpan(chosen, r)) continue;
    const Fit fit = FitPiece(out, r.text, max_len);
    if (fit == Fit::Stop) break;
    if (fit == Fit::Skip) continue;
    AppendPiece(out, r.text);
    chosen_texts.push_back(r.text);
    chosen.push_back(&r);
  }
  if (out.empty()) return;
  result.keyword_length = CountUtf8Chars(out);
  result.keyword_text = std::move(out);
}

}  // namespace quirvel
