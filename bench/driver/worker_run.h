// One measured run of the worker: start it, wait for "ready", send extract
// requests one at a time, shut it down.
#pragma once

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "bench/driver/child_process.h"
#include "bench/driver/latency_stats.h"

namespace quirvel::bench {

struct RunPlan {
  // Worker executable first, then its arguments.
  std::vector<std::string> command;
  std::vector<std::string> titles;
  size_t requests = 0;
  int max_len = 24;
  size_t metrics_every = 0;
  // Progress lines on standard error every this many requests; 0 for none.
  size_t progress_every = 0;
};

struct RunResult {
  bool candidate_cache = false;
  // The worker arguments a compared run added (--compare-worker-arg); empty
  // for the run it is compared with.
  std::vector<std::string> added_args;
  double ready_ms = 0;
  double first_extract_ms = 0;
  // Latencies of every extract after the first.
  std::vector<double> steady_ms;
  double steady_seconds = 0;
  size_t error_replies = 0;
  std::string first_error;
  long start_rss_kib = 0;
  long end_rss_kib = 0;
  long peak_rss_kib = 0;
  std::vector<RssSample> rss;
  uint64_t cache_hits = 0;
  uint64_t cache_misses = 0;
  uint64_t cache_size = 0;
  int exit_code = -1;
};

// Throws std::runtime_error when the worker does not become ready, crashes,
// stops answering, or answers out of order.
RunResult RunWorker(const RunPlan& plan);

// The request line the driver sends for one title (no newline); `detail`
// asks for the keywords as data too ("keyword_list").
std::string ExtractRequest(const std::string& id, const std::string& title, int max_len, bool detail = false);

// The steps of a run, for programs that talk to the worker in their own way.
// Each throws std::runtime_error carrying the worker's standard error when the
// worker fails.
// Waits for the "ready" line on standard error.
void WaitForReady(ChildProcess& worker);
// Writes one request line (no newline) and returns its reply line.
std::string SendRequest(ChildProcess& worker, const std::string& id, const std::string& line);
// The reply as a JSON object; it must carry the request's id.
nlohmann::json ParseReply(ChildProcess& worker, const std::string& id, const std::string& reply_line);
// Sends shutdown, reads its reply and waits for the exit; returns the exit code.
int ShutDownWorker(ChildProcess& worker);

}  // namespace quirvel::bench
