// The worker's request loop and wire protocol: one JSON request per input line,
// one compact JSON reply (members sorted by name, raw UTF-8) per output line.
// The loop reads and writes the streams it is given, so tests drive it from memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "host/keyword_list.h"
#include "keywords/keyword_model.h"

namespace quirvel {

using Json = nlohmann::json;

// How the worker writes its replies, from the command line.
struct ReplyOptions {
  BackConversion back_conversion = BackConversion::SellerScript;
};

// {"error": message, "id": id, "ok": false}
Json MakeErrorReply(const std::string& id, const std::string& message);
// The four flat metrics members; each reads 0 for a null model.
Json CollectMetrics(const JiebaKeywordModel* model);

// The effective "max_len" of a request: 24 when absent or below 1, saturated
// to the signed 32-bit range. Throws the JSON library's type error for a
// string, null, array or object.
std::int32_t ReadMaxLen(const Json& request);
// "detail": false when absent. "top": 0 when absent, else 1 to 100. Any other
// value throws std::invalid_argument with a message naming the member.
bool ReadDetail(const Json& request);
std::size_t ReadTop(const Json& request);
Json HandleExtract(const std::string& id, JiebaKeywordModel* model, const Json& request,
                   const ReplyOptions& options = {});

// What an extract request asks of its reply, read before the extraction.
struct ExtractReplyAsk {
  std::int32_t max_len = 24;
  bool detail = false;  // "keyword_list"
  std::size_t top = 0;  // "ranked" with this many candidates; none when 0
};
// The extract reply for one extraction.
Json BuildExtractReply(const std::string& id, const JiebaKeywordModel* model, const ExtractionResult& result,
                       const ExtractReplyAsk& ask, const ReplyOptions& options = {});

// Serves lines until a shutdown request, end of input or a read error. Throws
// when a reply cannot be written.
void RequestLoop(JiebaKeywordModel* model, std::istream& in, std::ostream& out,
                 const ReplyOptions& options = {});

}  // namespace quirvel
