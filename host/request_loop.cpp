// The request loop: parse one line, dispatch on "type", write one reply.
#include "host/request_loop.h"

#include <algorithm>
#include <istream>
#include <limits>
#include <ostream>
#include <stdexcept>
#include <utility>

#include <nlohmann/json.hpp>

#include "conversion/script_conversion.h"
#include "host/keyword_text.h"

namespace quirvel {
namespace {

constexpr std::int32_t kDefaultMaxLen = 24;

struct LineOutcome {
  Json reply;
  bool stop = false;
};

std::int32_t SaturateToInt32(double value) {
  if (value >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
    return std::numeric_limits<std::int32_t>::max();
  if (value <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);  // truncates a fraction toward zero
}

std::int32_t SaturateToInt32(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

std::int32_t SaturateToInt32(std::uint64_t value) {
  return static_cast<std::int32_t>(
      std::min<std::uint64_t>(value, static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())));
}

// The library's own conversion would be undefined for numbers outside the
// 32-bit range; those saturate, everything else goes through the library so
// its type errors stay the ones clients see.
std::int32_t NumberToInt32(const Json& value) {
  switch (value.type()) {
    case Json::value_t::number_float:
      return SaturateToInt32(value.get<double>());
    case Json::value_t::number_integer:
      return SaturateToInt32(value.get<std::int64_t>());
    case Json::value_t::number_unsigned:
      return SaturateToInt32(value.get<std::uint64_t>());
    default:
      return value.get<std::int32_t>();
  }
}

bool HasStringMember(const Json& document, const char* name) {
  if (!document.is_object()) return false;
  const auto member = document.find(name);
  return member != document.end() && member->is_string();
}

Json MakeOkReply(const std::string& id) { return Json{{"id", id}, {"ok", true}}; }

Json HandleConvert(const std::string& id, const Json& request) {
  if (!HasStringMember(request, "title"))
    return MakeErrorReply(id, "convert request requires string field: title");
  Json reply = MakeOkReply(id);
  reply["normalized_title"] = NormalizeScript(request["title"].get<std::string>());
  return reply;
}

Json HandleMetrics(const std::string& id, const JiebaKeywordModel* model) {
  Json reply = MakeOkReply(id);
  reply.update(CollectMetrics(model));
  return reply;
}

// Steps of one non-empty line up to its reply; `id` is set as soon as the
// request names one, so an error raised later is still answered with it.
LineOutcome HandleLine(JiebaKeywordModel* model, const std::string& line, std::string& id) {
  const Json request = Json::parse(line);
  if (HasStringMember(request, "id")) id = request["id"].get<std::string>();
  const std::string type = request.value("type", std::string());
  if (type == "shutdown") return {MakeOkReply(id), true};
  if (type == "extract") return {HandleExtract(id, model, request), false};
  if (type == "convert") return {HandleConvert(id, request), false};
  if (type == "metrics") return {HandleMetrics(id, model), false};
  return {MakeErrorReply(id, "unsupported request type: " + type), false};
}

LineOutcome AnswerLine(JiebaKeywordModel* model, const std::string& line) {
  std::string id;
  try {
    return HandleLine(model, line, id);
  } catch (const std::exception& error) {
    return {MakeErrorReply(id, error.what()), false};
  }
}

// Invalid UTF-8 (a parse error may quote the offending byte) is written as
// U+FFFD: one bad line must not stop the worker through the serializer.
void WriteReply(std::ostream& out, const Json& reply) {
  out << reply.dump(-1, ' ', false, Json::error_handler_t::replace) << '\n';
  out.flush();
  if (!out) throw std::runtime_error("failed to write reply");
}

}  // namespace

Json MakeErrorReply(const std::string& id, const std::string& message) {
  return Json{{"error", message}, {"id", id}, {"ok", false}};
}

Json CollectMetrics(const JiebaKeywordModel* model) {
  return Json{{"dimension", ModelDimension(model)},
              {"candidate_cache_hits", CandidateCacheHits(model)},
              {"candidate_cache_misses", CandidateCacheMisses(model)},
              {"candidate_cache_size", CandidateCacheSize(model)}};
}

std::int32_t ReadMaxLen(const Json& request) {
  const auto member = request.find("max_len");
  const std::int32_t value = member == request.end() ? kDefaultMaxLen : NumberToInt32(*member);
  return value < 1 ? kDefaultMaxLen : value;
}

Json HandleExtract(const std::string& id, JiebaKeywordModel* model, const Json& request) {
  if (!HasStringMember(request, "title"))
    return MakeErrorReply(id, "extract request requires string field: title");
  const std::int32_t max_len = ReadMaxLen(request);
  const ExtractionResult result =
      Extract(model, request["title"].get<std::string>(), static_cast<std::size_t>(max_len));
  Json reply = MakeOkReply(id);
  reply["title"] = ToTraditional(result.normalized_title);
  reply["keywords"] = FitToBudget(ToTraditional(BuildKeywordText(result, max_len)), max_len);
  reply["len"] = result.keyword_length;
  reply.update(CollectMetrics(model));
  return reply;
}

void RequestLoop(JiebaKeywordModel* model, std::istream& in, std::ostream& out) {
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    const LineOutcome outcome = AnswerLine(model, line);
    WriteReply(out, outcome.reply);
    if (outcome.stop) return;
  }
}

}  // namespace quirvel
