// Loading the rule table when it is far larger than any seller's (200,000 rules): the start
// button waits for LoadRuleList on the UI thread, so it must take a moment at most.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/gbk.h"
#include "platform/program_folder.h"
#include "rules/rule_table.h"

namespace fahuo {
namespace {

constexpr size_t kTableRules = 200000;

// A data folder holding a rule table of kTableRules rules, made once per process and
// removed at its end.
struct Folder {
  std::string path;
  ~Folder() {
    std::error_code ec;
    if (!path.empty()) std::filesystem::remove_all(path, ec);
  }
};

const std::string& LargeTableFolder() {
  static const Folder folder{[] {
    std::string pattern = (std::filesystem::temp_directory_path() / "fahuo-rules-XXXXXX").string();
    std::string made = mkdtemp(pattern.data()) ? pattern : std::string();
    std::vector<DeliveryRule> rules;
    for (size_t i = 0; i < kTableRules; ++i) {
      const float price = static_cast<float>(i % 500);
      rules.push_back({price, price + 1, Utf8ToGbk("教程 " + std::to_string(i)),
                       Utf8ToGbk("下载地址：https://example.com/" + std::to_string(i))});
    }
    if (!made.empty() && !WriteRuleTable(made + "/Yjgz.edb", rules, nullptr)) made.clear();
    return made;
  }()};
  return folder.path;
}

void BM_LoadRuleList(benchmark::State& state) {
  if (LargeTableFolder().empty()) return state.SkipWithError("could not write the table");
  const std::string path = RuleTablePath(DataFolder(LargeTableFolder()));
  RuleBook book;
  std::string notice;
  for (auto _ : state) {
    if (!LoadRuleList(path, book, &notice)) return state.SkipWithError("load failed");
  }
  state.SetLabel(GbkToUtf8(notice));
}
BENCHMARK(BM_LoadRuleList)->Unit(benchmark::kMillisecond);

// The whole table in one query: what a bound of kTableRules would cost.
void BM_ReadWholeTable(benchmark::State& state) {
  if (LargeTableFolder().empty()) return state.SkipWithError("could not write the table");
  const std::string path = LargeTableFolder() + "/Yjgz.edb";
  for (auto _ : state) {
    auto rules = ReadRuleTable(path);
    if (!rules || rules->size() != kTableRules) return state.SkipWithError("read failed");
  }
}
BENCHMARK(BM_ReadWholeTable)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace fahuo
