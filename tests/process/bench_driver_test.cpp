// The benchmark driver's own arithmetic and command line, without a worker.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <utility>

#include "bench/driver/driver_options.h"
#include "bench/driver/latency_stats.h"
#include "bench/driver/report.h"
#include "bench/driver/svg_chart.h"
#include "bench/driver/titles.h"
#include "bench/driver/worker_run.h"

namespace quirvel::bench {
namespace {

struct PercentileCase {
  std::vector<double> values;
  double p;
  double expected;
};

void PrintTo(const PercentileCase& c, std::ostream* os) {
  *os << "p" << c.p << " of " << c.values.size() << " values";
}

class PercentileTest : public ::testing::TestWithParam<PercentileCase> {};

TEST_P(PercentileTest, UsesNearestRank) {
  EXPECT_EQ(Percentile(GetParam().values, GetParam().p), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Stats, PercentileTest,
                         ::testing::Values(PercentileCase{{}, 50, 0}, PercentileCase{{7}, 99, 7},
                                           PercentileCase{{4, 1, 3, 2}, 50, 2},
                                           PercentileCase{{4, 1, 3, 2}, 75, 3},
                                           PercentileCase{{4, 1, 3, 2}, 100, 4},
                                           PercentileCase{{4, 1, 3, 2}, 0, 1},
                                           PercentileCase{{5, 1, 2, 3, 4, 6, 7, 8, 9, 10}, 95, 10}));

TEST(HistogramTest, PutsValuesBeyondTheRangeInTheLastBin) {
  const Histogram histogram = MakeHistogram({0.0, 0.9, 1.0, 3.99, 4.0, 100.0, -1.0}, 4.0, 4);
  EXPECT_EQ(histogram.bin_width, 1.0);
  EXPECT_EQ(histogram.counts, (std::vector<size_t>{3, 1, 0, 3}));
}

TEST(HistogramTest, EmptyRangeGivesNoBins) { EXPECT_TRUE(MakeHistogram({1.0}, 0.0, 10).counts.empty()); }

struct GrowthCase {
  const char* name;
  std::vector<RssSample> samples;
  size_t warm_up;
  double expected;
};

// Test names in listings show the case name, not the bytes of the case.
void PrintTo(const GrowthCase& c, std::ostream* os) { *os << c.name; }

class LateGrowthTest : public ::testing::TestWithParam<GrowthCase> {};

TEST_P(LateGrowthTest, ComparesEndWithHalfWayAfterWarmUp) {
  EXPECT_DOUBLE_EQ(LateGrowth(GetParam().samples, GetParam().warm_up), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Stats, LateGrowthTest,
    ::testing::Values(GrowthCase{"Flat", {{0, 50}, {10, 100}, {20, 100}, {30, 100}}, 10, 0.0},
                      GrowthCase{"WarmUpIgnored", {{0, 10}, {10, 100}, {20, 100}, {30, 110}}, 10, 0.1},
                      GrowthCase{"SteadyClimb", {{0, 100}, {50, 150}, {100, 200}}, 0, 200.0 / 150.0 - 1},
                      GrowthCase{"Shrinks", {{0, 100}, {50, 200}, {100, 100}}, 0, -0.5},
                      GrowthCase{"TooFewSamples", {{0, 100}, {100, 900}}, 50, 0.0}),
    [](const auto& info) { return std::string(info.param.name); });

class MibPerThousandTest : public ::testing::TestWithParam<GrowthCase> {};

TEST_P(MibPerThousandTest, IsTheSlopeAfterWarmUp) {
  EXPECT_NEAR(MibPerThousand(GetParam().samples, GetParam().warm_up), GetParam().expected, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Stats, MibPerThousandTest,
    ::testing::Values(
        GrowthCase{"Flat", {{500, 2048}, {1000, 2048}, {1500, 2048}}, 500, 0.0},
        GrowthCase{"OneMibPerThousand", {{0, 0}, {500, 1024}, {1500, 2048}, {2500, 3072}}, 500, 1.0},
        GrowthCase{"WarmUpIgnored", {{0, 100}, {100, 99999}, {500, 4096}, {1500, 4096}}, 500, 0.0},
        // One noisy reading moves the fit far less than the end-to-end difference.
        GrowthCase{"NoisyEnd", {{500, 0}, {1000, 0}, {1500, 0}, {2000, 3072}}, 500, 1.8},
        GrowthCase{"TooFewSamples", {{0, 100}, {600, 900}}, 500, 0.0}),
    [](const auto& info) { return std::string(info.param.name); });

DriverOptions Defaults() {
  DriverOptions defaults;
  defaults.worker = "/bin/worker";
  return defaults;
}

TEST(DriverOptionsTest, ReadsValuesInlineAndFromTheNextArgument) {
  const DriverOptions options =
      ParseDriverOptions({"--model=m.onnx", "--tokenizer", "v.txt", "--requests=50", "--cache", "on",
                          "--worker-arg=--profile=bge", "--worker-arg", "--rank-mode=embedding",
                          "--max-rss-growth", "2.5", "--titles", "t.txt", "--launcher=/usr/bin/wine"},
                         Defaults());
  EXPECT_EQ(options.worker, "/bin/worker");
  EXPECT_EQ(options.launcher, "/usr/bin/wine");
  EXPECT_EQ(options.model, "m.onnx");
  EXPECT_EQ(options.tokenizer, "v.txt");
  EXPECT_EQ(options.requests, 50u);
  EXPECT_EQ(options.cache_modes, std::vector<bool>{true});
  EXPECT_EQ(options.worker_args, (std::vector<std::string>{"--profile=bge", "--rank-mode=embedding"}));
  EXPECT_TRUE(options.compare_args.empty());
  EXPECT_EQ(ParseDriverOptions({"--model=m", "--tokenizer=v", "--compare-worker-arg=--reuse-converters",
                                "--compare-worker-arg", "--threads=1"},
                               Defaults())
                .compare_args,
            (std::vector<std::string>{"--reuse-converters", "--threads=1"}));
  EXPECT_DOUBLE_EQ(options.max_late_growth, 0.025);
  EXPECT_EQ(options.titles, "t.txt");
  EXPECT_TRUE(options.titles_required);
  EXPECT_FALSE(options.distinct_titles);
  EXPECT_LT(options.max_mib_per_thousand, 0);
  const DriverOptions distinct =
      ParseDriverOptions({"--model=m", "--tokenizer=v", "--distinct", "--max-rss-per-1000", "2"}, Defaults());
  EXPECT_TRUE(distinct.distinct_titles);
  EXPECT_DOUBLE_EQ(distinct.max_mib_per_thousand, 2.0);
}

class DriverOptionsErrorTest : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(DriverOptionsErrorTest, Rejects) {
  EXPECT_THROW(ParseDriverOptions(GetParam(), Defaults()), std::invalid_argument);
}

INSTANTIATE_TEST_SUITE_P(
    DriverOptions, DriverOptionsErrorTest,
    ::testing::Values(std::vector<std::string>{"--tokenizer=v"}, std::vector<std::string>{"--model=m"},
                      std::vector<std::string>{"--model=m", "--tokenizer=v", "--requests=-1"},
                      std::vector<std::string>{"--model=m", "--tokenizer=v", "--requests=0"},
                      std::vector<std::string>{"--model=m", "--tokenizer=v", "--requests=12x"},
                      std::vector<std::string>{"--model=m", "--tokenizer=v", "--cache=maybe"},
                      std::vector<std::string>{"--model=m", "--tokenizer=v", "--bogus"},
                      std::vector<std::string>{"--model=m", "--tokenizer=v", "--max-rss-per-1000=-1"},
                      std::vector<std::string>{"--model=m", "--tokenizer"}));

TEST(ExtractRequestTest, IsOneCompactLineWithRawUtf8) {
  const std::string line = ExtractRequest("r1", "台灣 \"茶\"\n", 24);
  EXPECT_EQ(line, "{\"id\":\"r1\",\"max_len\":24,\"title\":\"台灣 \\\"茶\\\"\\n\",\"type\":\"extract\"}");
}

TEST(ExtractRequestTest, InvalidBytesInATitleDoNotStopTheRun) {
  const std::string line = ExtractRequest("r1", "a\xff", 24);
  EXPECT_TRUE(nlohmann::json::parse(line, nullptr, false).is_object()) << line;
}

TEST(TitlesTest, ReadsFilesOfAFolderInOrderAndSkipsEmptyLines) {
  const std::filesystem::path folder = std::filesystem::path(testing::TempDir()) / "driver_titles";
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "b.txt") << "second\r\n\nthird\n";
  std::ofstream(folder / "a.txt") << "first";
  std::ofstream(folder / "notes.md") << "ignored\n";
  EXPECT_EQ(LoadTitles(folder.string()), (std::vector<std::string>{"first", "second", "third"}));
  std::filesystem::remove_all(folder);
}

TEST(TitlesTest, MissingFileIsAnError) {
  EXPECT_THROW(LoadTitles("/nonexistent/titles.txt"), std::runtime_error);
}

TEST(ReportTest, CsvHasOneRowPerSample) {
  RunResult off;
  off.rss = {{0, 100}, {10, 120}};
  RunResult on;
  on.candidate_cache = true;
  on.rss = {{0, 90}};
  EXPECT_EQ(RssCsv({off, on}), "candidate_cache,requests,rss_kib\noff,0,100\noff,10,120\non,0,90\n");
}

RunResult TimedRun(bool candidate_cache, std::vector<std::string> added_args, std::vector<double> steady_ms) {
  RunResult run;
  run.candidate_cache = candidate_cache;
  run.added_args = std::move(added_args);
  run.steady_ms = std::move(steady_ms);
  return run;
}

// Each compared run is held against the plain run of its own cache setting.
TEST(ReportTest, ComparisonsPairEachComparedRunWithItsPlainRun) {
  const std::vector<RunResult> runs = {
      TimedRun(false, {}, {60, 80}), TimedRun(false, {"--reuse-converters"}, {0.5, 1.5}),
      TimedRun(true, {}, {40}), TimedRun(true, {"--reuse-converters"}, {2})};
  std::ostringstream out;
  PrintComparisons(out, runs);
  EXPECT_EQ(out.str(),
            "cache off: 70.000 ms per extract; cache off --reuse-converters: 1.000 ms (0.0143 of it)\n"
            "cache on: 40.000 ms per extract; cache on --reuse-converters: 2.000 ms (0.0500 of it)\n");
  std::ostringstream none;
  PrintComparisons(none, {runs[0], runs[2]});
  EXPECT_EQ(none.str(), "");
  EXPECT_EQ(RssCsv({TimedRun(false, {"--a", "--b"}, {})}), "candidate_cache,requests,rss_kib\n");
  RunResult sampled = runs[1];
  sampled.rss = {{0, 7}};
  EXPECT_EQ(RssCsv({sampled}), "candidate_cache,requests,rss_kib\noff --reuse-converters,0,7\n");
}

TEST(ReportTest, JsonCarriesPercentilesOfSteadyRequests) {
  RunResult run;
  run.steady_ms = {1, 2, 3, 4};
  run.steady_seconds = 2;
  const nlohmann::json document = nlohmann::json::parse(ResultsJson(ReportContext{}, {run}));
  EXPECT_EQ(document["runs"][0]["median_ms"], 2.0);
  EXPECT_EQ(document["runs"][0]["p99_ms"], 4.0);
  EXPECT_EQ(document["runs"][0]["requests_per_second"], 2.0);
}

TEST(SvgTest, EscapesTextAndDrawsOneBarPerFilledBin) {
  EXPECT_EQ(EscapeXml("a<b>&\"c\""), "a&lt;b&gt;&amp;&quot;c&quot;");
  const std::string svg = HistogramSvg("t<1>", "ms", {{"off", MakeHistogram({1, 1, 3}, 4, 4)}});
  EXPECT_NE(svg.find("t&lt;1&gt;"), std::string::npos);
  size_t bars = 0;
  for (size_t at = svg.find("<rect x="); at != std::string::npos; at = svg.find("<rect x=", at + 1)) ++bars;
  EXPECT_EQ(bars, 2u + 1u) << "two bins and one legend box";
}

TEST(SvgTest, GroupedBarsHaveOneBarPerSeriesAndGroupTopTheirValues) {
  const std::string svg = GroupedBarChartSvg("t", "share", {"a & b", "c"},
                                             {{"x", {0.25, 1.5}, "#123456"}, {"y", {0.5, 0}, ""}}, 1.0);
  size_t bars = 0;
  for (size_t at = svg.find("<rect x="); at != std::string::npos; at = svg.find("<rect x=", at + 1)) ++bars;
  EXPECT_EQ(bars, 4u + 2u) << "two series in two groups, and two legend boxes";
  EXPECT_NE(svg.find(">a &amp; b<"), std::string::npos);
  EXPECT_NE(svg.find("fill=\"#123456\""), std::string::npos);
  EXPECT_NE(svg.find(">0.25<"), std::string::npos);
  EXPECT_NE(svg.find(">1.50<"), std::string::npos) << "a value above the axis keeps its label";
  EXPECT_THROW(GroupedBarChartSvg("t", "share", {"a"}, {{"x", {0.1, 0.2}, ""}}, 1.0), std::invalid_argument);
}

}  // namespace
}  // namespace quirvel::bench
