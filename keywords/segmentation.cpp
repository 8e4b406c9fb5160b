#include "keywords/segmentation.h"

#include <memory>
#include <mutex>
#include <optional>

#include <cppjieba/DictTrie.hpp>
#include <cppjieba/HMMModel.hpp>
#include <cppjieba/MixSegment.hpp>

#include "host/resources.h"
#include "host/unicode.h"
#include "host/utf8.h"
#include "keywords/jieba_dictionary.h"

namespace quirvel {
namespace {

// Jieba's mixed segmenter and the two dictionaries it reads. (cppjieba's Jieba
// class would also load the keyword-extraction tables, idf.utf8 and
// stop_words.utf8, which the worker never uses: a fifth of the load time.)
struct JiebaSegmenter {
  explicit JiebaSegmenter(const std::string& dir)
      : dictionary(JoinPath(dir, kJiebaMainDictFile), JoinPath(dir, kJiebaUserDictFile)),
        hmm(JoinPath(dir, kJiebaHmmModelFile)),
        segment(&dictionary, &hmm) {}
  cppjieba::DictTrie dictionary;
  cppjieba::HMMModel hmm;
  cppjieba::MixSegment segment;
};

// Built once, on the first Han run, and only read afterwards.
std::unique_ptr<JiebaSegmenter>& SharedJieba() {
  static std::unique_ptr<JiebaSegmenter> jieba;
  return jieba;
}

std::once_flag& JiebaOnce() {
  static std::once_flag once;
  return once;
}

// Throws before the constructor sees a dictionary it would abort on. Because
// std::call_once does not mark a throwing call as done, a later title tries
// again. The library loads the very bytes that were checked, from a private
// copy: the dictionary folder may be rewritten meanwhile (another worker
// starting, an upgrade). Only when no private folder can be made does it read
// the checked folder itself.
void BuildSharedJieba() {
  const std::string dir = ResolveJiebaDictDir();
  const std::string library_dir = ToLibraryPath(dir);
  const std::optional<PrivateFolder> copy = PrivateJiebaCopy(ReadCheckedJiebaDictionary(dir, library_dir));
  const std::string load_dir = copy ? ToLibraryPath(copy->path()) : library_dir;
  SharedJieba() = std::make_unique<JiebaSegmenter>(load_dir);
  MarkJiebaLoaded();
}

// The word characters, and "*": unlike in the candidates' model numbers, it
// belongs to an ASCII word here.
bool IsSegmentationWordByte(unsigned char byte) { return IsWordChar(byte) || byte == '*'; }

// End of the Han run that starts at `start` (== start when there is none).
std::size_t HanRunEnd(const std::string& title, std::size_t start) {
  std::size_t pos = start;
  // Strict decoding: the run handed to Jieba is always valid UTF-8.
  while (pos < title.size() && static_cast<unsigned char>(title[pos]) >= 0x80) {
    const DecodedChar decoded = DecodeUtf8At(title, pos);
    if (decoded.length == 0 || !IsHanCodePoint(decoded.code_point)) break;
    pos += decoded.length;
  }
  return pos;
}

std::size_t AsciiWordEnd(const std::string& title, std::size_t start) {
  std::size_t pos = start;
  while (pos < title.size() && IsSegmentationWordByte(static_cast<unsigned char>(title[pos]))) ++pos;
  return pos;
}

std::vector<std::string> CutHanRun(const std::string& run) {
  EnsureJieba();
  std::vector<std::string> words;
  SharedJieba()->segment.Cut(run, words, true);
  return words;
}

// Each word is looked for from where the previous one was found, so that a
// repeated word gets the offset of its own occurrence.
void AddHanRun(const std::string& title, std::size_t start, std::size_t end, std::vector<Segment>& segments) {
  const std::string run = title.substr(start, end - start);
  const std::size_t count_before = segments.size();
  std::size_t search_from = 0;
  for (const std::string& word : CutHanRun(run)) {
    if (word.empty()) continue;
    std::size_t pos = run.find(word, search_from);
    if (pos == std::string::npos) pos = run.find(word);
    AddSegment(segments, word, pos == std::string::npos ? start : start + pos);
    if (pos != std::string::npos) search_from = pos + word.size();
  }
  if (segments.size() == count_before) AddSegment(segments, run, start);
}

// Adds what starts at `pos` and returns where the next piece starts. Bytes
// that start no piece (blanks, punctuation, non-Han characters, invalid UTF-8)
// are stepped over one at a time: they only separate segments.
std::size_t SegmentAt(const std::string& title, std::size_t pos, std::vector<Segment>& segments) {
  const auto byte = static_cast<unsigned char>(title[pos]);
  std::size_t end = pos;
  if (byte < 0x80) {
    end = IsSegmentationWordByte(byte) ? AsciiWordEnd(title, pos) : pos;
    if (end > pos) AddSegment(segments, title.substr(pos, end - pos), pos);
  } else {
    end = HanRunEnd(title, pos);
    if (end > pos) AddHanRun(title, pos, end, segments);
  }
  return end > pos ? end : pos + 1;
}

}  // namespace

void AddSegment(std::vector<Segment>& list, const std::string& text, std::uint64_t offset) {
  if (text.empty()) return;
  for (const Segment& segment : list) {
    if (segment.text == text) return;
  }
  list.push_back({text, offset});
}

void EnsureJieba() { std::call_once(JiebaOnce(), BuildSharedJieba); }

std::vector<Segment> SegmentTitle(const std::string& title) {
  std::vector<Segment> segments;
  for (std::size_t pos = 0; pos < title.size();) pos = SegmentAt(title, pos, segments);
  return segments;
}

}  // namespace quirvel
