// Importing 100,000 codes into a stock, as `fahuo-cli stock add` and the stock window do:
// reading the file (encoding detection, lines, blanks) and one transaction into the ledger,
// every code checked against the stock for duplicates. The goal is well under a second.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "ledger/code_import.h"
#include "ledger/ledger.h"
#include "platform/gbk.h"

namespace fahuo {
namespace {

std::string CodeFileBytes(bool gbk) {
  std::string text;
  for (int i = 0; i < 100000; ++i) {
    text +=
        (gbk ? "会员-" : "") + std::string("XK7Q-") + std::to_string(1000000 + i * 7) + "-P9ZR\r\n";
  }
  return gbk ? Utf8ToGbk(text) : text;
}

void BM_ImportHundredThousandCodes(benchmark::State& state) {
  const bool gbk = state.range(0) != 0;
  const std::string bytes = CodeFileBytes(gbk);
  const std::string dir = std::filesystem::temp_directory_path() /
                          ("fahuo-bench-codes-" + std::to_string(getpid()) + (gbk ? "-gbk" : ""));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  int run = 0;
  for (auto _ : state) {
    state.PauseTiming();
    // A fresh ledger each time: every code is new, as in a first import.
    const std::string path = dir + "/fahuo-" + std::to_string(run++) + ".db";
    Ledger ledger;
    ledger.Open(path, 0);
    state.ResumeTiming();
    const CodeFile file = ReadCodeFile(bytes);
    const Ledger::AddResult added = ledger.AddCodes("stock", file.codes);
    benchmark::DoNotOptimize(added.added);
    state.PauseTiming();
    if (added.added != 100000) state.SkipWithError("not every code was added");
    ledger.Close();
    std::filesystem::remove(path);
    std::filesystem::remove(path + "-wal");
    std::filesystem::remove(path + "-shm");
    state.ResumeTiming();
  }
  std::filesystem::remove_all(dir);
  state.SetItemsProcessed(state.iterations() * 100000);
  state.SetLabel(gbk ? "GBK file" : "UTF-8 file");
}

BENCHMARK(BM_ImportHundredThousandCodes)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace fahuo
