// The Events page on a log that nobody purged for years: a generated 100 MB
// file (about 300,000 entries, 600,000 lines, in the logger's own format and
// line ends). Measures the page's activation until its list is filled and
// painted, against `iconv -f UTF-16LE -t UTF-8 FILE | tac` on the same file
// (counter "vs_iconv_tac", the target is at most 3), and the memory the
// page holds (counter "held_MB", at most the file's size).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QTableView>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/text.h"
#include "platform_qt/command_table.h"
#include "support/widget_test_main.h"
#include "views/view_rig.h"

namespace {

using namespace kestrune;

constexpr std::size_t kFileBytes = 100u << 20;

// Entries as the logger writes them: a time stamp line ending in CR LF and
// its body lines ending in bare LF, as the event texts have them.
std::filesystem::path MakeLog() {
  const auto path = std::filesystem::temp_directory_path() /
                    ("kestrune-bench-events-" + std::to_string(::getpid()) + ".txt");
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write("\xFF\xFE", 2);
  std::size_t written = 2;
  std::string utf16;
  for (unsigned n = 0; written < kFileBytes; ++n) {
    const std::string entry =
        "08-December-2026 06:" + std::to_string(10 + n % 50) + "." + std::to_string(10 + n % 47) +
        (n % 3 == 0 ? "\tError - Raid Set Member Dropped\r\n"
                    : "\tInformational - Ultra DMA Mode Change\r\n") +
        "\t\tAdapter " + std::to_string(n % 4) + ", Set 0, Member 1 (Channel 2, device " +
        std::to_string(n % 2) + ") changed its state; see the configuration window.\n";
    utf16.clear();
    for (char c : entry) {
      utf16.push_back(c);
      utf16.push_back('\0');
    }
    out.write(utf16.data(), static_cast<std::streamsize>(utf16.size()));
    written += utf16.size();
  }
  return path;
}

double ResidentMegabytes() {
  long pages = 0;
  long resident = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
  }
  return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / 1048576.0;
}

double SecondsOf(const std::string& command) {
  const auto start = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) return 0;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_EventsPageActivation(benchmark::State& state) {
  const std::filesystem::path log = MakeLog();
  const double iconvTac =
      SecondsOf("iconv -f UTF-16LE -t UTF-8 '" + log.string() + "' | tac >/dev/null");
  test::ViewRig rig;
  rig.settings->SetLogFileEnabled(L"TRUE");
  rig.settings->SetLogFileLocation(platform::FromUtf8(log.parent_path().string() + "/"));
  rig.settings->SetLogFileName(platform::FromUtf8(log.filename().string()));
  views::CConfigTreeDlg& window = rig.Open();
  window.SelectNode(views::NodeRef::Computer());
  const double before = ResidentMegabytes();
  double held = 0;
  double seconds = 0;
  std::size_t rows = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    window.Sheet()->SetActivePage(1);
    auto* list = platform_qt::FindById<QTableView>(window.Sheet()->ActivePage(), 1386);
    list->viewport()->repaint();
    QApplication::processEvents();
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rows = static_cast<std::size_t>(list->model()->rowCount());
    held = ResidentMegabytes() - before;
    state.PauseTiming();
    window.Sheet()->SetActivePage(0);
    QApplication::processEvents();
    state.ResumeTiming();
  }
  const double perActivation = seconds / static_cast<double>(state.iterations());
  state.counters["rows"] = static_cast<double>(rows);
  state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(log)) / 1048576.0;
  state.counters["held_MB"] = held;
  state.counters["iconv_tac_s"] = iconvTac;
  state.counters["vs_iconv_tac"] = iconvTac > 0 ? perActivation / iconvTac : 0;
  std::filesystem::remove(log);
}
BENCHMARK(BM_EventsPageActivation)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  kestrune::test::UseOffscreenPlatform();
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
