// The request loop: parse one line, dispatch on "type", write one reply.
#include "host/request_loop.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <istream>
#include <limits>
#include <ostream>
#include <stdexcept>
#include <utility>

#include <nlohmann/json.hpp>

#include "conversion/script_conversion.h"
#include "host/keyword_list.h"

namespace quirvel {
namespace {

constexpr std::int32_t kDefaultMaxLen = 24;
constexpr std::size_t kMaxTop = 100;

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

// A whole number (5 or 5.0) from 1 to kMaxTop; 0 for anything else.
std::size_t TopCount(const Json& value) {
  if (value.is_number_unsigned() || value.is_number_integer()) {
    const std::int64_t count = value.get<std::int64_t>();
    return count >= 1 && count <= static_cast<std::int64_t>(kMaxTop) ? static_cast<std::size_t>(count) : 0;
  }
  if (!value.is_number_float()) return 0;
  const double count = value.get<double>();
  const bool whole = count >= 1.0 && count <= static_cast<double>(kMaxTop) && std::floor(count) == count;
  return whole ? static_cast<std::size_t>(count) : 0;
}

// A score as the shortest decimal that reads back as the same float, so a
// parent sees 0.4375, not the digits of its widening to double.
Json ScoreNumber(float score) {
  if (!std::isfinite(score)) return nullptr;
  char digits[32];
  const auto written = std::to_chars(digits, digits + sizeof digits, score);
  double value = static_cast<double>(score);
  std::from_chars(digits, written.ptr, value);
  return value;
}

Json CharPosition(const CharSpan& span, std::size_t position) {
  return span.mapped ? Json(position) : Json(nullptr);
}

// Filled member by member: a braced list of pairs builds each member twice
// (as a pair, then copied into the object), several times the cost.
Json KeywordEntry(const ReplyKeyword& keyword) {
  const CharSpan span = SpanOfSources(keyword.sources);
  Json entry = Json::object();
  entry["text"] = keyword.text;
  entry["score"] = ScoreNumber(keyword.score);
  entry["kind"] = keyword.kind;
  entry["start"] = CharPosition(span, span.start);
  entry["end"] = CharPosition(span, span.end);
  return entry;
}

Json KeywordEntries(const std::vector<ReplyKeyword>& keywords) {
  Json entries = Json::array();
  for (const ReplyKeyword& keyword : keywords) entries.push_back(KeywordEntry(keyword));
  return entries;
}

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
LineOutcome HandleLine(JiebaKeywordModel* model, const std::string& line, std::string& id,
                       const ReplyOptions& options) {
  const Json request = Json::parse(line);
  if (HasStringMember(request, "id")) id = request["id"].get<std::string>();
  const std::string type = request.value("type", std::string());
  if (type == "shutdown") return {MakeOkReply(id), true};
  if (type == "extract") return {HandleExtract(id, model, request, options), false};
  if (type == "convert") return {HandleConvert(id, request), false};
  if (type == "metrics") return {HandleMetrics(id, model), false};
  return {MakeErrorReply(id, "unsupported request type: " + type), false};
}

LineOutcome AnswerLine(JiebaKeywordModel* model, const std::string& line, const ReplyOptions& options) {
  std::string id;
  try {
    return HandleLine(model, line, id, options);
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
  Json metrics = Json::object();  // member by member, as KeywordEntry
  metrics["dimension"] = ModelDimension(model);
  metrics["candidate_cache_hits"] = CandidateCacheHits(model);
  metrics["candidate_cache_misses"] = CandidateCacheMisses(model);
  metrics["candidate_cache_size"] = CandidateCacheSize(model);
  return metrics;
}

std::int32_t ReadMaxLen(const Json& request) {
  const auto member = request.find("max_len");
  const std::int32_t value = member == request.end() ? kDefaultMaxLen : NumberToInt32(*member);
  return value < 1 ? kDefaultMaxLen : value;
}

bool ReadDetail(const Json& request) {
  const auto member = request.find("detail");
  if (member == request.end()) return false;
  if (!member->is_boolean()) throw std::invalid_argument("extract request requires boolean field: detail");
  return member->get<bool>();
}

std::size_t ReadTop(const Json& request) {
  const auto member = request.find("top");
  if (member == request.end()) return 0;
  const std::size_t top = TopCount(*member);
  if (top == 0) throw std::invalid_argument("extract request requires integer field from 1 to 100: top");
  return top;
}

// The members are read before the extraction, so a bad one costs nothing and
// leaves the caches as they were.
Json HandleExtract(const std::string& id, JiebaKeywordModel* model, const Json& request,
                   const ReplyOptions& options) {
  if (!HasStringMember(request, "title"))
    return MakeErrorReply(id, "extract request requires string field: title");
  const ExtractReplyAsk ask{ReadMaxLen(request), ReadDetail(request), ReadTop(request)};
  const ExtractionResult result =
      Extract(model, request["title"].get<std::string>(), static_cast<std::size_t>(ask.max_len));
  return BuildExtractReply(id, model, result, ask, options);
}

Json BuildExtractReply(const std::string& id, const JiebaKeywordModel* model, const ExtractionResult& result,
                       const ExtractReplyAsk& ask, const ReplyOptions& options) {
  const ReplyTexts texts = BuildReplyTexts(result, ask.max_len, options.back_conversion, ask.top);
  Json reply = MakeOkReply(id);
  reply["title"] = texts.title;
  reply["keywords"] = texts.keywords;
  if (ask.detail) reply["keyword_list"] = KeywordEntries(texts.list);
  if (ask.top > 0) reply["ranked"] = KeywordEntries(texts.ranked);
  reply["len"] = result.keyword_length;
  reply.update(CollectMetrics(model));
  return reply;
}

void RequestLoop(JiebaKeywordModel* model, std::istream& in, std::ostream& out, const ReplyOptions& options) {
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    const LineOutcome outcome = AnswerLine(model, line, options);
    WriteReply(out, outcome.reply);
    if (outcome.stop) return;
  }
}

}  // namespace quirvel
