// Reading and walking a large driver package listing: lines and bytes per
// second of the line reader alone, and of the whole package step over it
// (every package another provider's, so the walk runs no deletion).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "benchmark/benchmark.h"
#include "listing/listing.h"
#include "steps/steps.h"
#include "tests/unit/fakes.h"

namespace {

// A dp_enum listing of about `bytes` bytes, CR LF line ends.
std::string DriverListing(std::size_t bytes, std::size_t* lines) {
  std::string text =
      "The following third-party driver packages are installed on this "
      "computer:\r\n";
  *lines = 1;
  for (int n = 1; text.size() < bytes; ++n) {
    text += "oem" + std::to_string(n) +
            ".inf\r\n    Provider: Other Corp\r\n    Class: Sound, video and "
            "game controllers\r\n    Signer: Microsoft Windows Hardware "
            "Compatibility Publisher\r\n    Date: 03/15/2021\r\n    Version: "
            "10.0.1.2\r\n";
    *lines += 6;
  }
  return text;
}

void BM_ReadLines(benchmark::State& state) {
  std::size_t lines = 0;
  const std::string text =
      DriverListing(static_cast<std::size_t>(state.range(0)), &lines);
  { std::ofstream("bench-listing.txt", std::ios::binary) << text; }
  for (auto _ : state) {
    std::size_t seen = 0;
    ReadLines("bench-listing.txt", [&seen](const std::wstring& line) {
      seen += line.size();
    });
    benchmark::DoNotOptimize(seen);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  state.counters["lines/s"] = benchmark::Counter(
      static_cast<double>(state.iterations() * lines), benchmark::Counter::kIsRate);
  std::remove("bench-listing.txt");
}
BENCHMARK(BM_ReadLines)->Arg(1 << 20)->Arg(16 << 20)->Unit(benchmark::kMillisecond);

void BM_RemoveDriverPackages(benchmark::State& state) {
  std::size_t lines = 0;
  fake_runner = FakeRunner();
  fake_runner.listings[L"/dp_enum"] =
      DriverListing(static_cast<std::size_t>(state.range(0)), &lines);
  const std::size_t bytes = fake_runner.listings[L"/dp_enum"].size();
  for (auto _ : state) {
    printed.clear();
    fake_runner.runs.clear();
    RemoveDriverPackages();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  state.counters["lines/s"] = benchmark::Counter(
      static_cast<double>(state.iterations() * lines), benchmark::Counter::kIsRate);
  std::remove("driverlist.txt");
}
BENCHMARK(BM_RemoveDriverPackages)->Arg(16 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
