// Cuts a normalised (Simplified) title into ASCII word runs and Jieba words.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quirvel {

struct Segment {
  std::string text;         // never empty
  std::uint64_t offset = 0;  // byte offset in the normalised title
};

// Appends {text, offset} unless text is empty or already in the list.
void AddSegment(std::vector<Segment>& list, const std::string& text, std::uint64_t offset);

// Builds the process-wide Jieba segmenter once (from ResolveJiebaDictDir).
void EnsureJieba();

std::vector<Segment> SegmentTitle(const std::string& title);

}  // namespace quirvel
