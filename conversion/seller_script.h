// Which script a seller wrote a title in, so that the reply can give a seller
// who writes Traditional script their own characters back, and convert only a
// title written in Simplified script to Taiwan script.
//
// The rule is per title, and reads the title's own characters:
// - a character the normalisation to Simplified changed (灣, 製, 髮) is one
//   that only Traditional script writes;
// - a character it kept, but that Taiwan script writes otherwise when it
//   stands alone (湾 -> 灣, 发 -> 發), is one that Simplified script writes;
//   Traditional script writes some of them too (台, 后, 托, 污 are both), so
//   such a character alone does not make a title Simplified;
// - characters of both scripts (面, 表, 制) and ASCII tell nothing.
// A title holding more characters of the second kind than of the first was
// written in Simplified. Judged per title, not per character, because
// characters such as 台 are Traditional in a Traditional title and Simplified
// in a Simplified one; per word the phrases of the conversion (面膜 -> 麵膜,
// 添加 -> 新增) would rewrite a Traditional seller's correct words.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace quirvel {

// The characters of a title that tell its script.
struct ScriptClues {
  std::size_t traditional_only = 0;  // characters the normalisation changed
  // Distinct non-ASCII characters the normalisation kept, and how often each
  // stands in the title: converted alone they tell whether Simplified wrote them.
  std::vector<std::string> kept;
  std::vector<std::size_t> kept_counts;
};

// A character counts as changed when it is nowhere in the normalized title,
// so titles whose normalisation changed their length are judged too.
ScriptClues FindScriptClues(const std::string& request_title, const std::string& normalized_title);

// Whether the title of `clues` was written in Simplified script, given each
// kept character converted to Taiwan script on its own (`kept_alone[i]` for
// `clues.kept[i]`; a missing entry counts as unchanged).
bool WrittenInSimplified(const ScriptClues& clues, const std::vector<std::string>& kept_alone);

}  // namespace quirvel
