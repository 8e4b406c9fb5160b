// The worker's request loop and wire protocol: one JSON request per input line,
// one compact JSON reply (members sorted by name, raw UTF-8) per output line.
// The loop reads and writes the streams it is given, so tests drive it from memory.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "host/service_options.h"
#include "keywords/keyword_model.h"

namespace quirvel {

using Json = nlohmann::json;

// {"error": message, "id": id, "ok": false}
Json MakeErrorReply(const std::string& id, const std::string& message);
// The four flat metrics members; each reads 0 for a null model.
Json CollectMetrics(const JiebaKeywordModel* model);

// The characters of the input title that stand where `keyword` starts (byte
// `offset` of the normalized title): those of its span up to byte `end` when the
// span is known (end > offset), else as many as the keyword has characters.
std::string MapSpanToInput(const std::vector<std::string>& input_chars, const std::string& normalized_title,
                           std::uint64_t offset, const std::string& keyword, std::uint64_t end = 0);
// The keyword text rebuilt out of the request's own characters, within
// max_len characters; the model's keyword text when it cannot be rebuilt.
std::string BuildKeywordText(const ExtractionResult& result, std::int32_t max_len);
// The back-conversion can lengthen a text (a Simplified word may become a
// longer Taiwanese one): the parent's limit still holds, so a keyword text
// that grew past max_len characters is cut to it, without a trailing blank.
std::string FitToBudget(const std::string& keywords, std::int32_t max_len);
// The effective "max_len" of a request: 24 when absent or below 1, saturated
// to the signed 32-bit range. Throws the JSON library's type error for a
// string, null, array or object.
std::int32_t ReadMaxLen(const Json& request);
Json HandleExtract(const std::string& id, JiebaKeywordModel* model, const Json& request);

// Serves lines until a shutdown request, end of input or a read error. Throws
// when a reply cannot be written.
void RequestLoop(JiebaKeywordModel* model, std::istream& in, std::ostream& out);

KeywordModelConfig MakeKeywordModelConfig(const ServiceOptions& options);
// The whole run after the process entry: start-up, the ready line, the loop,
// and the fatal line on any error outside one request. Returns the exit code.
int RunWorker(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace quirvel
