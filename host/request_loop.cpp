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
#include "host/platform.h"
#include "host/resources.h"
#include "host/utf8.h"

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

bool NeedsBlankBetween(const std::string& output, const std::string& piece) {
  if (output.empty() || piece.empty()) return false;
  const auto last = static_cast<unsigned char>(output.back());
  const auto first = static_cast<unsigned char>(piece.front());
  return last < 0x80 && first < 0x80 && IsWordChar(last) && IsWordChar(first);
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

namespace {

// Characters of text that begin before byte offset, stepping as the UTF-8 helpers do.
std::size_t CharsBefore(const std::string& text, std::uint64_t offset) {
  std::size_t count = 0;
  for (std::size_t pos = 0; pos < text.size() && pos < offset; ++count) pos += Utf8CharLengthAt(text, pos);
  return count;
}

}  // namespace

std::string MapSpanToInput(const std::vector<std::string>& input_chars, const std::string& normalized_title,
                           std::uint64_t offset, const std::string& keyword, std::uint64_t end) {
  const std::size_t start_char = CharsBefore(normalized_title, offset);
  if (start_char >= input_chars.size()) return keyword;
  // A phrase's text drops the blanks between a Chinese word and an ASCII word, so
  // its character count is shorter than the stretch of title it covers: the span,
  // when known, says which input characters the keyword stands for.
  const std::size_t length =
      end > offset ? CharsBefore(normalized_title, end) - start_char : CountUtf8Chars(keyword);
  const std::size_t end_char = std::min(start_char + length, input_chars.size());
  std::string piece;
  for (std::size_t i = start_char; i < end_char; ++i) piece += input_chars[i];
  return piece.empty() ? keyword : piece;
}

namespace {

bool SpansOverlap(const RankedCandidate& a, const RankedCandidate& b) {
  return a.end > a.start && b.end > b.start && a.start < b.end && b.start < a.end;
}

// The ranked list holds every candidate, and the parts of a chosen phrase also
// occur inside the keyword text. Only the keywords the model's join could have
// chosen are rebuilt: none that repeats, contains, lies inside or overlaps one
// already taken, so the reply never names a word twice.
bool RepeatsTakenKeyword(const RankedCandidate& keyword, const std::vector<const RankedCandidate*>& taken) {
  for (const RankedCandidate* other : taken) {
    if (other->text.find(keyword.text) != std::string::npos || keyword.text.find(other->text) != std::string::npos ||
        SpansOverlap(*other, keyword)) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::string BuildKeywordText(const ExtractionResult& result, std::int32_t max_len) {
  const std::vector<std::string> input_chars = SplitUtf8Chars(result.input_title);
  if (input_chars.size() != CountUtf8Chars(result.normalized_title)) return result.keyword_text;
  const auto budget = static_cast<std::size_t>(std::max<std::int32_t>(max_len, 0));
  std::string output;
  std::vector<const RankedCandidate*> taken;
  for (const RankedCandidate& keyword : result.ranked) {
    if (keyword.text.empty() || result.keyword_text.find(keyword.text) == std::string::npos) continue;
    if (RepeatsTakenKeyword(keyword, taken)) continue;
    const std::string piece = MapSpanToInput(input_chars, result.normalized_title, keyword.start, keyword.text, keyword.end);
    const bool blank = NeedsBlankBetween(output, piece);
    if (CountUtf8Chars(output) + (blank ? 1 : 0) + CountUtf8Chars(piece) > budget) continue;
    if (blank) output += ' ';
    output += piece;
    taken.push_back(&keyword);
  }
  return output.empty() ? result.keyword_text : output;
}

std::string FitToBudget(const std::string& keywords, std::int32_t max_len) {
  const auto budget = static_cast<std::size_t>(std::max<std::int32_t>(max_len, 0));
  if (CountUtf8Chars(keywords) <= budget) return keywords;
  std::string cut = TruncateUtf8Chars(keywords, budget);
  while (!cut.empty() && cut.back() == ' ') cut.pop_back();
  return cut;
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
  const ExtractionResult result = Extract(model, request["title"].get<std::string>(), static_cast<std::size_t>(max_len));
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

KeywordModelConfig MakeKeywordModelConfig(const ServiceOptions& options) {
  KeywordModelConfig config;
  config.model_path = options.model_path;
  config.tokenizer_path = options.tokenizer_path;
  config.profile = options.profile;
  config.rank_mode = options.rank_mode;
  config.output_mode = options.output_mode;
  config.title_max_length = options.title_max_length;
  config.candidate_max_length = options.candidate_max_length;
  config.candidate_cache = options.candidate_cache;
  return config;
}

namespace {

KeywordModelPtr LoadModel(const std::vector<std::string>& args) {
  const ServiceOptions options = ParseServiceOptions(args);
  ResolveServicePaths(options);
  KeywordModelPtr model = CreateKeywordModel(MakeKeywordModelConfig(options));
  if (!IsModelReady(model.get())) throw std::runtime_error("load model failed: " + ModelLastError(model.get()));
  return model;
}

void WriteLine(std::ostream& err, const std::string& text) {
  err << text << '\n';
  err.flush();
}

}  // namespace

int RunWorker(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
  try {
    platform::UseUtf8Console();
    KeywordModelPtr model = LoadModel(args);
    WriteLine(err, "ready");
    RequestLoop(model.get(), in, out);
    DestroyKeywordModel(std::move(model));
    return 0;
  } catch (const std::exception& error) {
    WriteLine(err, std::string("fatal: ") + error.what());
    return 1;
  }
}

}  // namespace quirvel
