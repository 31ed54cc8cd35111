// The fleet page at fleet scale: a folder of N machines' check documents
// (10,000 and 100,000) read, grouped and made into one page, with the
// page's size and the process's peak memory. The time per machine must not
// grow with N. With KOVEX_BENCH_PAGES naming a folder, each page is written
// there as fleet-N.html, for tests/bench/fleet_page_browser.mjs to time
// Chromium on it.
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "benchmark/benchmark.h"
#include "fleet_page/fleet_input.h"
#include "fleet_page/fleet_page.h"

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

void BM_FleetPageFromDocuments(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const fs::path& folder = Folder(count);
  std::string page;
  for (auto _ : state) {
    std::vector<MachineResult> results;
    std::vector<InputProblem> unread;
    ReadPath(folder.string(), &results, &unread);
    PageFacts facts;
    facts.made_at = ParseIsoTime("2026-12-08T12:00:00Z");
    facts.inputs = {folder.string()};
    page = FleetPage(GroupByMachine(results, facts.made_at), facts);
    benchmark::DoNotOptimize(page.data());
  }
  state.SetItemsProcessed(state.iterations() * count);
  state.counters["page_MiB"] = static_cast<double>(page.size()) / (1 << 20);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024;
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
