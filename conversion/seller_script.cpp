#include "conversion/seller_script.h"

#include <algorithm>
#include <set>

#include "host/utf8.h"

namespace quirvel {

ScriptClues FindScriptClues(const std::string& request_title, const std::string& normalized_title) {
  const std::vector<std::string> normalized = SplitUtf8Chars(normalized_title);
  const std::set<std::string> normalized_set(normalized.begin(), normalized.end());
  ScriptClues clues;
  for (const std::string& ch : SplitUtf8Chars(request_title)) {
    if (static_cast<unsigned char>(ch[0]) < 0x80) continue;
    if (normalized_set.count(ch) == 0) {
      ++clues.traditional_only;
      continue;
    }
    const auto known = std::find(clues.kept.begin(), clues.kept.end(), ch);
    if (known != clues.kept.end()) {
      ++clues.kept_counts[static_cast<std::size_t>(known - clues.kept.begin())];
      continue;
    }
    clues.kept.push_back(ch);
    clues.kept_counts.push_back(1);
  }
  return clues;
}

bool WrittenInSimplified(const ScriptClues& clues, const std::vector<std::string>& kept_alone) {
  std::size_t simplified = 0;
  for (std::size_t i = 0; i < clues.kept.size() && i < kept_alone.size(); ++i)
    if (kept_alone[i] != clues.kept[i]) simplified += clues.kept_counts[i];
  return simplified > clues.traditional_only;
}

}  // namespace quirvel
