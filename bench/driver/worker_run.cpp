#include "bench/driver/worker_run.h"

#include <chrono>
#include <iostream>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <utility>

#include "bench/driver/child_process.h"

namespace quirvel::bench {
namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::milliseconds;
constexpr Millis kReadyTimeout(600000);
constexpr Millis kReplyTimeout(120000);
constexpr Millis kExitTimeout(60000);

double MillisSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

[[noreturn]] void FailWithExit(ChildProcess& worker, const std::string& what) {
  const std::string stderr_text = worker.ReadRest(ChildStream::kStderr, Millis(2000));
  const ExitStatus status = worker.Wait(Millis(5000));
  throw std::runtime_error(what + "; worker " + DescribeExit(status) + "; its standard error:\n" +
                           worker.PendingStderr() + stderr_text);
}

long ReadKib(const ChildProcess& worker, const char* field) { return worker.StatusKib(field).value_or(0); }

void RecordReply(const nlohmann::json& reply, RunResult& result) {
  if (!reply.value("ok", false)) {
    if (result.error_replies++ == 0) result.first_error = reply.value("error", std::string("(no message)"));
    return;
  }
  result.cache_hits = reply.value("candidate_cache_hits", uint64_t{0});
  result.cache_misses = reply.value("candidate_cache_misses", uint64_t{0});
  result.cache_size = reply.value("candidate_cache_size", uint64_t{0});
}

// Sends one request, reads its reply; returns the latency in milliseconds.
double Exchange(ChildProcess& worker, const std::string& id, const std::string& line, RunResult& result) {
  const auto start = Clock::now();
  const std::string reply_line = SendRequest(worker, id, line);
  const double elapsed = MillisSince(start);
  RecordReply(ParseReply(worker, id, reply_line), result);
  return elapsed;
}

void SampleMemory(const ChildProcess& worker, size_t done, const RunPlan& plan, RunResult& result) {
  const bool due = plan.metrics_every > 0 && done % plan.metrics_every == 0;
  if (due || done == plan.requests) result.rss.push_back({done, ReadKib(worker, "VmRSS")});
}

void ReportProgress(size_t done, const RunPlan& plan, const RunResult& result) {
  if (plan.progress_every == 0 || done % plan.progress_every != 0) return;
  std::cerr << "  " << done << "/" << plan.requests << " requests, RSS "
            << (result.rss.empty() ? 0 : result.rss.back().rss_kib) / 1024 << " MiB\n";
}

void SendRequests(ChildProcess& worker, const RunPlan& plan, RunResult& result) {
  result.rss.push_back({0, result.start_rss_kib});
  Clock::time_point steady_start;
  for (size_t i = 0; i < plan.requests; ++i) {
    const std::string id = "r" + std::to_string(i + 1);
    const std::string& title = plan.titles[i % plan.titles.size()];
    const double latency = Exchange(worker, id, ExtractRequest(id, title, plan.max_len), result);
    if (i == 0) {
      result.first_extract_ms = latency;
      steady_start = Clock::now();
    } else {
      result.steady_ms.push_back(latency);
    }
    SampleMemory(worker, i + 1, plan, result);
    ReportProgress(i + 1, plan, result);
  }
  result.steady_seconds = MillisSince(steady_start) / 1000.0;
}

void ShutDown(ChildProcess& worker, RunResult& result) {
  result.end_rss_kib = ReadKib(worker, "VmRSS");
  result.peak_rss_kib = ReadKib(worker, "VmHWM");
  result.exit_code = ShutDownWorker(worker);
}

}  // namespace

void WaitForReady(ChildProcess& worker) {
  while (auto line = worker.ReadLine(ChildStream::kStderr, kReadyTimeout)) {
    if (*line == "ready") return;
    if (line->rfind("fatal: ", 0) == 0) FailWithExit(worker, "worker failed to start: " + *line);
  }
  FailWithExit(worker, "worker never wrote the ready line");
}

std::string SendRequest(ChildProcess& worker, const std::string& id, const std::string& line) {
  if (!worker.Write(line + "\n")) FailWithExit(worker, "cannot write request " + id);
  auto reply_line = worker.ReadLine(ChildStream::kStdout, kReplyTimeout);
  if (!reply_line) FailWithExit(worker, "no reply to request " + id);
  return std::move(*reply_line);
}

nlohmann::json ParseReply(ChildProcess& worker, const std::string& id, const std::string& reply_line) {
  nlohmann::json reply = nlohmann::json::parse(reply_line, nullptr, false);
  if (!reply.is_object() || reply.value("id", std::string()) != id) {
    FailWithExit(worker, "unexpected reply to request " + id + ": " + reply_line.substr(0, 200));
  }
  return reply;
}

int ShutDownWorker(ChildProcess& worker) {
  if (!worker.Write("{\"id\":\"end\",\"type\":\"shutdown\"}\n"))
    FailWithExit(worker, "cannot write shutdown");
  const auto reply = worker.ReadLine(ChildStream::kStdout, kReplyTimeout);
  if (!reply) FailWithExit(worker, "no reply to shutdown");
  const ExitStatus status = worker.Wait(kExitTimeout);
  if (!status.exited) FailWithExit(worker, "worker did not exit after shutdown");
  return status.code;
}

std::string ExtractRequest(const std::string& id, const std::string& title, int max_len, bool detail) {
  nlohmann::json request = {{"id", id}, {"type", "extract"}, {"title", title}, {"max_len", max_len}};
  if (detail) request["detail"] = true;
  return request.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

RunResult RunWorker(const RunPlan& plan) {
  if (plan.titles.empty()) throw std::invalid_argument("no titles to send");
  RunResult result;
  const auto start = Clock::now();
  ChildProcess worker(plan.command);
  WaitForReady(worker);
  result.ready_ms = MillisSince(start);
  result.start_rss_kib = ReadKib(worker, "VmRSS");
  SendRequests(worker, plan, result);
  ShutDown(worker, result);
  return result;
}

}  // namespace quirvel::bench
