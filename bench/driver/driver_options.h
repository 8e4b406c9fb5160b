// The benchmark driver's command line.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace quirvel::bench {

struct DriverOptions {
  std::string worker;
  // A program that runs the worker (wine for a Windows build), given the worker
  // as its first argument; empty: the worker is started directly.
  std::string launcher;
  std::string model;
  std::string tokenizer;
  std::vector<std::string> worker_args;
  // When not empty: each cache setting runs a second time with these worker
  // arguments added, and the two runs' mean milliseconds per extract are
  // printed side by side.
  std::vector<std::string> compare_args;
  // A titles file, or a folder whose *.txt files are all read. Empty: the
  // driver's own short list.
  std::string titles;
  bool titles_required = false;
  size_t requests = 1000;
  int max_len = 24;
  // The candidate cache settings to run, in order.
  std::vector<bool> cache_modes = {false, true};
  // Resident memory is sampled every this many requests; 0 samples only at
  // the start and the end.
  size_t metrics_every = 0;
  // Requests before which memory growth is not judged.
  size_t warm_up = 0;
  // When >= 0: the run fails if memory with the cache off grows by more than
  // this fraction over the second half after warm-up.
  double max_late_growth = -1;
  // Every distinct title once (in file order), instead of --requests
  // requests cycling over the titles.
  bool distinct_titles = false;
  // When >= 0: a run fails if memory grows by more than this many MiB per
  // 1,000 requests after warm-up.
  double max_mib_per_thousand = -1;
  std::string json_path;
  std::string svg_path;
  std::string rss_csv_path;
  std::string rss_svg_path;
  bool help = false;
};

// Parses the arguments after the program name, starting from the given
// defaults. Throws std::invalid_argument with a message for the user.
DriverOptions ParseDriverOptions(const std::vector<std::string>& args, DriverOptions defaults);
std::string DriverUsage();

}  // namespace quirvel::bench
