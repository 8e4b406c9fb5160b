#include "bench/quality/worker_answers.h"

#include <iostream>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "bench/driver/child_process.h"
#include "bench/driver/worker_run.h"

namespace quirvel::quality {
namespace {

using Json = nlohmann::json;

std::optional<size_t> Position(const Json& entry, const char* member) {
  const auto found = entry.find(member);
  if (found == entry.end() || found->is_null()) return std::nullopt;
  if (!found->is_number_unsigned())
    throw std::runtime_error(std::string("keyword_list ") + member + " is no position");
  return found->get<size_t>();
}

// The reply as JSON; an error reply becomes an exception naming the title.
Json CheckedReply(bench::ChildProcess& worker, const std::string& id, const std::string& line,
                  const std::string& title) {
  Json reply = bench::ParseReply(worker, id, bench::SendRequest(worker, id, line));
  if (!reply.value("ok", false)) {
    throw std::runtime_error("the worker answered \"" + title +
                             "\" with an error: " + reply.value("error", std::string("(no message)")));
  }
  return reply;
}

std::string NormalizedTitle(bench::ChildProcess& worker, size_t index, const std::string& title) {
  const std::string id = "c" + std::to_string(index);
  const Json request = {{"id", id}, {"type", "convert"}, {"title", title}};
  const Json reply =
      CheckedReply(worker, id, request.dump(-1, ' ', false, Json::error_handler_t::replace), title);
  const auto normalized = reply.find("normalized_title");
  if (normalized == reply.end() || !normalized->is_string()) {
    throw std::runtime_error("convert reply without normalized_title for \"" + title + "\"");
  }
  return normalized->get<std::string>();
}

std::vector<KeywordSpan> SpansOfReply(const Json& reply) {
  const auto list = reply.find("keyword_list");
  if (list == reply.end() || !list->is_array()) {
    throw std::runtime_error("extract reply without keyword_list (a worker that does not know \"detail\"?)");
  }
  std::vector<KeywordSpan> spans;
  for (const Json& entry : *list) {
    if (!entry.is_object()) throw std::runtime_error("keyword_list holds something other than objects");
    spans.push_back({Position(entry, "start"), Position(entry, "end")});
  }
  return spans;
}

}  // namespace

std::vector<KeywordSpan> KeywordSpans(const std::string& reply_line) {
  const Json reply = Json::parse(reply_line, nullptr, false);
  if (!reply.is_object()) throw std::runtime_error("extract reply is not a JSON object");
  return SpansOfReply(reply);
}

WorkerAnswers RunWorkerOnTitles(const std::vector<std::string>& command,
                                const std::vector<std::string>& titles, const std::vector<int>& budgets,
                                bool normalize) {
  bench::ChildProcess worker(command);
  bench::WaitForReady(worker);
  WorkerAnswers answers;
  if (normalize) {
    for (size_t i = 0; i < titles.size(); ++i)
      answers.normalized.push_back(NormalizedTitle(worker, i, titles[i]));
  }
  for (int budget : budgets) {
    std::cerr << "  " << titles.size() << " titles at max_len " << budget << "\n";
    auto& per_title = answers.spans.emplace_back();
    for (size_t i = 0; i < titles.size(); ++i) {
      const std::string id = "e" + std::to_string(budget) + "_" + std::to_string(i);
      const Json reply =
          CheckedReply(worker, id, bench::ExtractRequest(id, titles[i], budget, true), titles[i]);
      per_title.push_back(SpansOfReply(reply));
    }
  }
  const int exit_code = bench::ShutDownWorker(worker);
  if (exit_code != 0) throw std::runtime_error("the worker exited with code " + std::to_string(exit_code));
  return answers;
}

}  // namespace quirvel::quality
