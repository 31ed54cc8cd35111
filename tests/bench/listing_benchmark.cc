// Reading and walking a large driver package listing: lines and bytes per
// second of the line reader alone, and of the whole package step over it.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "benchmark/benchmark.h"
#include "listing/listing.h"
#include "steps/steps.h"
#include "tests/unit/fakes.h"

namespace {

const char kHeader[] =
    "The following third-party driver packages are installed on this "
    "computer:\r\n";

std::string Package(int n) {
  return "oem" + std::to_string(n) +
         ".inf\r\n    Provider: Other Corp\r\n    Class: Sound, video and "
         "game controllers\r\n";
}

// A dp_enum listing of about `bytes` bytes, CR LF line ends, every package
// another provider's. Returns its size; counts its lines into `lines`.
template <typename Sink>
std::size_t DriverListing(std::size_t bytes, std::size_t* lines, Sink&& sink) {
  std::size_t size = sizeof(kHeader) - 1;
  sink(kHeader);
  *lines = 1;
  for (int n = 1; size < bytes; ++n) {
    const std::string package = Package(n);
    sink(package);
    size += package.size();
    *lines += 3;
  }
  return size;
}

// Reading alone, from a file written in pieces so that the process's peak
// memory is the reader's own (run under /usr/bin/time -v to see it).
void BM_ReadLines(benchmark::State& state) {
  std::size_t lines = 0;
  std::size_t bytes = 0;
  {
    std::ofstream out("bench-listing.txt", std::ios::binary);
    bytes = DriverListing(static_cast<std::size_t>(state.range(0)), &lines,
                          [&out](const std::string& piece) { out << piece; });
  }
  for (auto _ : state) {
    std::size_t seen = 0;
    ReadLines("bench-listing.txt", ListingEncoding::kBytes, [&seen](const std::wstring& line) {
      seen += line.size();
    });
    benchmark::DoNotOptimize(seen);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  state.counters["lines/s"] = benchmark::Counter(
      static_cast<double>(state.iterations() * lines), benchmark::Counter::kIsRate);
  std::remove("bench-listing.txt");
}
BENCHMARK(BM_ReadLines)->Arg(1 << 20)->Arg(100 << 20)->Unit(benchmark::kMillisecond);

// The whole package step over the listing: capture (the fake interpreter
// writes the file), read, and the walk, which deletes nothing.
void BM_RemoveDriverPackages(benchmark::State& state) {
  std::size_t lines = 0;
  fake_runner = FakeRunner();
  std::string& listing = fake_runner.listings[L"/dp_enum"];
  const std::size_t bytes =
      DriverListing(static_cast<std::size_t>(state.range(0)), &lines,
                    [&listing](const std::string& piece) { listing += piece; });
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
