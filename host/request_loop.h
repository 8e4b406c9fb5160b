// The worker's request loop and wire protocol: one JSON request per input line,
// one compact JSON reply (members sorted by name, raw UTF-8) per output line.
// The loop reads and writes the streams it is given, so tests drive it from memory.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "keywords/keyword_model.h"

namespace quirvel {

using Json = nlohmann::json;

// {"error": message, "id": id, "ok": false}
Json MakeErrorReply(const std::string& id, const std::string& message);
// The four flat metrics members; each reads 0 for a null model.
Json CollectMetrics(const JiebaKeywordModel* model);

// The effective "max_len" of a request: 24 when absent or below 1, saturated
// to the signed 32-bit range. Throws the JSON library's type error for a
// string, null, array or object.
std::int32_t ReadMaxLen(const Json& request);
Json HandleExtract(const std::string& id, JiebaKeywordModel* model, const Json& request);

// Serves lines until a shutdown request, end of input or a read error. Throws
// when a reply cannot be written.
void RequestLoop(JiebaKeywordModel* model, std::istream& in, std::ostream& out);

}  // namespace quirvel
