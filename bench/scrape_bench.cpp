// Scraping speed on records pages of realistic shape and on hostile ones.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "capture/page_text.h"
#include "capture/record_scraper.h"
#include "platform/gbk.h"

namespace {

// About 1.5 KB, shaped like a row of the payment service's listing.
std::string RecordRow(int i) {
  const std::string serial = "2024051222001400" + std::to_string(100000000 + i);
  return "      <tr id=\"J-item-" + std::to_string(i) +
         "\" class=\"J-item-even\" data-biz=\"TRADE\">\r\n"
         "        <td class=\"time\" data-col=\"1\">\r\n"
         "          <p class=\"time-d\">2024.05.12</p>\r\n"
         "          <p class=\"time-h ft-gray\">&nbsp;14:03</p>\r\n"
         "        </td>\r\n"
         "        <td class=\"memo\" data-col=\"2\">\r\n"
         "          <p class=\"memo-info\">视频教程 第2套</p>\r\n"
         "        </td>\r\n"
         "        <td class=\"name\" data-col=\"3\">\r\n"
         "          <p class=\"consume-title\"><a href=\"#\" title=\"QQ 123456789\">"
         "QQ 123456789</a></p>\r\n"
         "          <p class=\"name-serial ft-gray\" title=\"" +
         serial + "\">流水号:" + serial +
         "</p>\r\n"
         "        </td>\r\n"
         "        <td class=\"other\" data-col=\"4\">\r\n"
         "          <p class=\"name\">李*四 138****0000</p>\r\n"
         "          <p class=\"ft-gray\">w***@example.com</p>\r\n"
         "        </td>\r\n"
         "        <td class=\"amount\" data-col=\"5\">\r\n"
         "          <span class=\"amount-pay\">+ 1,280.00</span>\r\n"
         "        </td>\r\n"
         "        <td class=\"detail\" data-col=\"6\">\r\n"
         "          <a href=\"https://consume.records.example.com/record/detail.htm?"
         "bizType=TRADE&amp;tradeNo=" +
         serial +
         "&amp;from=standard\" target=\"_blank\" "
         "class=\"J-detail\" data-link-type=\"detail\">详情</a>\r\n"
         "        </td>\r\n"
         "        <td class=\"status\" data-col=\"7\">\r\n"
         "          <p class=\"text-success\">交易成功</p>\r\n"
         "          <p class=\"ft-gray\">已收款 资金已到账</p>\r\n"
         "        </td>\r\n"
         "        <td class=\"action\" data-col=\"8\">\r\n"
         "          <a href=\"#\" class=\"J-delete\" data-id=\"" +
         serial +
         "\">删除</a>\r\n"
         "          <a href=\"#\" class=\"J-remark\" data-id=\"" +
         serial +
         "\">备注</a>\r\n"
         "        </td>\r\n"
         "      </tr>\r\n";
}

std::string RecordsPage(int rows) {
  std::string page =
      "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta charset=\"GBK\">\r\n<title>交易记录</title>\r\n"
      "<script type=\"text/javascript\">\r\n";
  for (int i = 0; i < 250; ++i)
    page += "  var config" + std::to_string(i) + " = { a: 1, b: 2 };\r\n";
  page +=
      "</script>\r\n</head>\r\n<body>\r\n<table id=\"tradeRecordsIndex\">\r\n"
      "  <thead><tr class=\"header\"><th>时间</th><th>备注</th><th>名称</th><th>对方</th>"
      "<th>金额</th><th>明细</th><th>状态</th><th>操作</th></tr></thead>\r\n  <tbody>\r\n";
  for (int i = 0; i < rows; ++i) page += RecordRow(i);
  page +=
      "  </tbody>\r\n</table>\r\n<div class=\"page-link\"><a href=\"/record/standard.htm?"
      "pageNum=2&amp;tradeType=SUCCESS\">下一页&gt;</a></div>\r\n</body>\r\n</html>\r\n";
  return fahuo::Utf8ToGbk(page);
}

void Scrape(benchmark::State& state, const std::string& page, std::size_t want_bills) {
  for (auto _ : state) {
    std::vector<fahuo::BillRecord> bills;
    benchmark::DoNotOptimize(fahuo::ScrapeRecordTable(page, bills));
    if (bills.size() != want_bills) state.SkipWithError("unexpected number of bills");
    benchmark::DoNotOptimize(bills.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
  state.counters["page_bytes"] = static_cast<double>(page.size());
}

void BM_ScrapePage20Rows(benchmark::State& state) {
  static const std::string page = RecordsPage(20);
  Scrape(state, page, 20);
}
BENCHMARK(BM_ScrapePage20Rows)->Unit(benchmark::kMicrosecond);

void BM_ScrapePage2000Rows(benchmark::State& state) {
  static const std::string page = RecordsPage(2000);
  Scrape(state, page, 2000);
}
BENCHMARK(BM_ScrapePage2000Rows)->Unit(benchmark::kMillisecond);

void BM_ScrapeUnclosedRows12MB(benchmark::State& state) {
  static const std::string page = [] {
    std::string text;
    for (int i = 0; i < 4 * 1024 * 1024; ++i) text += "<tr";
    return text;
  }();
  Scrape(state, page, 0);
}
BENCHMARK(BM_ScrapeUnclosedRows12MB)->Unit(benchmark::kMillisecond);

// A million row starts whose end comes only once, at the very end.
void BM_ScrapeOneLateRowEnd(benchmark::State& state) {
  static const std::string page = [] {
    std::string text = "<tr></tr>";
    for (int i = 0; i < 1000000; ++i) text += "<tr<td";
    return text + "td></tr>";
  }();
  Scrape(state, page, 0);
}
BENCHMARK(BM_ScrapeOneLateRowEnd)->Unit(benchmark::kMillisecond);

void BM_CleanCellTextOneMegabyteCell(benchmark::State& state) {
  static const std::string cell = [] {
    std::string text = "<td class=\"memo\">\r\n";
    while (text.size() < (1 << 20)) text += "<p>\xB6\xA9\xB5\xA5 &nbsp;\xA1\xA1 12</p>\r\n";
    return text + "</td>";
  }();
  for (auto _ : state) benchmark::DoNotOptimize(fahuo::CleanCellText(cell));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * cell.size()));
}
BENCHMARK(BM_CleanCellTextOneMegabyteCell)->Unit(benchmark::kMicrosecond);

}  // namespace
