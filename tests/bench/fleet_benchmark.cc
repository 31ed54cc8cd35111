// The fleet page at fleet scale: a folder of N machines' check documents
// (10,000 and 100,000) read, grouped and made into one page, with the
// page's size and the process's peak memory. The time per machine must not
// grow with N. With KOVEX_BENCH_PAGES naming a folder, each page is written
// there as fleet-N.html, for tests/bench/fleet_page_browser.mjs to time
// Chromium on it.
//
// Beside it, the floor: a minimal reader of the same folder (each file
// opened, read, parsed with nlohmann/json, one line out), run first, so that
// the page's CPU reads as a ratio to it in the same run (x_minimal_cpu).
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "benchmark/benchmark.h"
#include "fleet_page/fleet_input.h"
#include "fleet_page/fleet_page.h"
#include "nlohmann/json.hpp"

namespace {

namespace fs = std::filesystem;

// Machine `i`'s document: most clean, some with traces the cleanup removes,
// some waiting for a reboot and a command by hand (shared across machines),
// some unchecked, a few broken.
std::string Document(int i) {
  const std::string head = "{\"clean\":";
  const std::string tail = ",\"attached\":[],\"computer\":\"PC-" + std::to_string(i) +
                           "\",\"checked_at\":\"2026-12-0" + std::to_string(1 + i % 7) +
                           "T04:11:29Z\",\"version\":\"1.0.0\"}";
  switch (i % 20) {
    case 0:
    case 1:
      return head + "false,\"complete\":true,\"traces\":["
             "{\"kind\":\"driver-package\",\"id\":\"oem13.inf\",\"description\":\"Kovex "
             "Inc\",\"awaits_reboot\":false},{\"kind\":\"driver-file\",\"id\":"
             "\"KxCommon.sys\",\"description\":\"C:\\\\Windows\\\\System32\\\\drivers\\\\"
             "KxCommon.sys\",\"awaits_reboot\":false}],\"unchecked\":[]" + tail;
    case 2:
    case 3:
      return head + "false,\"complete\":true,\"traces\":["
             "{\"kind\":\"device\",\"id\":\"USB\\\\VID_3F7C&PID_0D30\\\\5&AB12&0&" +
             std::to_string(i % 50) + "\",\"description\":\"Kovex Stuck Receiver\","
             "\"awaits_reboot\":true},{\"kind\":\"device\",\"id\":\"HID\\\\QZV_PAD\\\\8&3D\","
             "\"description\":\"\",\"awaits_reboot\":false,\"manual_removal\":\"devcon -f "
             "remove \\\"@HID\\\\QZV_PAD\\\\8&3D\\\"\"}],\"unchecked\":[]" + tail;
    case 4:
      return head + "false,\"complete\":false,\"traces\":[],\"unchecked\":[{\"check\":"
             "\"devices\",\"reason\":\"devcon findall *VID_3F7C* ended with exit code 2\"}]" +
             tail;
    case 5:
      return i % 100 == 5 ? "{\"clean\":" : head + "true,\"complete\":true,\"traces\":[],"
             "\"unchecked\":[]" + tail;
    default:
      return head + "true,\"complete\":true,\"traces\":[],\"unchecked\":[]" + tail;
  }
}

// The folders written, removed when the run ends (100,000 files each).
std::vector<std::pair<int, fs::path>> made;

// A folder of `count` documents, written once per run.
const fs::path& Folder(int count) {
  for (const auto& folder : made) {
    if (folder.first == count) return folder.second;
  }
  fs::path folder = fs::temp_directory_path() /
                    ("kovex-fleet-bench-" + std::to_string(::getpid()) + "-" +
                     std::to_string(count));
  fs::remove_all(folder);
  fs::create_directories(folder);
  for (int i = 0; i < count; ++i) {
    std::ofstream(folder / ("pc-" + std::to_string(i) + ".json"), std::ios::binary)
        << Document(i);
  }
  made.emplace_back(count, folder);
  return made.back().second;
}

// The process's user and system CPU so far, in seconds.
double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double PeakRssMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024;
}

// The minimal reader's CPU per iteration, by the folder's count.
std::map<int, double> minimal_cpu;

// The floor: each document of the folder opened, read and parsed, and one
// line of it (name, verdict, time) out; nothing checked, grouped or escaped.
void BM_MinimalReader(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const fs::path& folder = Folder(count);
  std::string out;
  const double start = CpuSeconds();
  for (auto _ : state) {
    out.clear();
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
      std::ifstream in(entry.path(), std::ios::binary);
      const std::string text((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
      const nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
      if (!document.is_object()) {
        out += entry.path().filename().string() + " NO RESULT\n";
        continue;
      }
      out += document.value("computer", "") + " " +
             (document.value("clean", false) ? "CLEAN" : "NOT CLEAN") + " " +
             document.value("checked_at", "") + "\n";
    }
    benchmark::DoNotOptimize(out.data());
  }
  minimal_cpu[count] = (CpuSeconds() - start) / static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations() * count);
  state.counters["out_MiB"] = static_cast<double>(out.size()) / (1 << 20);
  state.counters["peak_rss_MiB"] = PeakRssMiB();
}

BENCHMARK(BM_MinimalReader)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)
    ->Iterations(2);

void BM_FleetPageFromDocuments(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const fs::path& folder = Folder(count);
  std::string page;
  // Where the CPU goes: reading, grouping, writing the page.
  double phases[3] = {0, 0, 0};
  const double start = CpuSeconds();
  for (auto _ : state) {
    double at = CpuSeconds();
    auto phase_ends = [&phases, &at](int phase) {
      const double now = CpuSeconds();
      phases[phase] += now - at;
      at = now;
    };
    std::vector<MachineResult> results;
    std::vector<InputProblem> unread;
    ReadPath(folder.string(), &results, &unread);
    phase_ends(0);
    PageFacts facts;
    facts.made_at = ParseIsoTime("2026-12-08T12:00:00Z");
    facts.inputs = {folder.string()};
    const std::vector<FleetMachine> machines = GroupByMachine(results, facts.made_at);
    phase_ends(1);
    page = FleetPage(machines, facts);
    phase_ends(2);
    benchmark::DoNotOptimize(page.data());
  }
  const double iterations = static_cast<double>(state.iterations());
  const double cpu = (CpuSeconds() - start) / iterations;
  state.counters["read_cpu_s"] = phases[0] / iterations;
  state.counters["group_cpu_s"] = phases[1] / iterations;
  state.counters["page_cpu_s"] = phases[2] / iterations;
  state.SetItemsProcessed(state.iterations() * count);
  state.counters["page_MiB"] = static_cast<double>(page.size()) / (1 << 20);
  state.counters["peak_rss_MiB"] = PeakRssMiB();
  if (minimal_cpu.count(count) != 0 && minimal_cpu[count] > 0) {
    state.counters["x_minimal_cpu"] = cpu / minimal_cpu[count];
  }
  const char* keep = std::getenv("KOVEX_BENCH_PAGES");
  if (keep != nullptr) {
    std::ofstream(fs::path(keep) / ("fleet-" + std::to_string(count) + ".html"),
                  std::ios::binary)
        << page;
  }
}

BENCHMARK(BM_FleetPageFromDocuments)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)
    ->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (const auto& folder : made) fs::remove_all(folder.second);
  return 0;
}
