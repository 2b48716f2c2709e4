#include "app/core/settings.h"

#include <algorithm>

// Bytes in, bytes out: the file is GBK and SimpleIni must not convert it.
#define SI_NO_CONVERSION
#include <SimpleIni.h>

#include <cstdio>
#include <ctime>
#include <string_view>
#include <vector>

#include "platform/file_replace.h"
#include "platform/files.h"
#include "platform/gbk.h"
#include "platform/program_folder.h"

namespace fahuo {

const SettingKey kSettingServer{"IP", "smtp.qq.com"};
const SettingKey kSettingAccount{"端口", "邮箱账号"};
const SettingKey kSettingPassword{"连接码", ""};
const SettingKey kSettingInterval{"定时", "2000"};
const SettingKey kAlertMail{"邮箱", "", "提醒"};
const SettingKey kAlertWebhook{"网址", "", "提醒"};
const SettingKey kAlertWebhookFormat{"推送格式", "", "提醒"};
const SettingKey kAlertSummary{"每日汇总", "", "提醒"};
const SettingKey kSendPace{"每分钟封数", "", "发信"};
const SettingKey kBackupServer{"备用服务器", "", "发信"};
const SettingKey kBackupAccount{"备用邮箱", "", "发信"};
const SettingKey kBackupPassword{"备用密码", "", "发信"};
const SettingKey kBackupPace{"备用每分钟封数", "", "发信"};
const SettingKey kBounceServer{"服务器", "", "退信"};
const SettingKey kBounceInterval{"检查间隔", "5", "退信"};
const SettingKey kBounceEnabled{"开启", "1", "退信"};

namespace {

std::string SectionOf(const SettingKey& key) {
  return key.section ? Utf8ToGbk(key.section) : FAHUO_GBK("支付宝自助");
}

// Refuses absurdly large files rather than reading them whole.
constexpr size_t kMaxSettingsBytes = 1 << 20;

FileRead LoadIni(const std::string& path, CSimpleIniA& ini, std::string* text = nullptr) {
  // Quotes keep the blanks around a value (a password may have them).
  ini.SetQuotes(true);
  std::string bytes;
  FileRead state = ReadSmallRegularFile(path, kMaxSettingsBytes, bytes);
  if (text && state == FileRead::kRead) *text = bytes;
  if (state == FileRead::kRead && ini.LoadData(bytes) < 0) state = FileRead::kUnreadable;
  return state;
}

// The reader strips one pair of quotes around a value, and the writer adds them only for
// blanks at either end; a value that is itself quoted gets its own pair so that it reads
// back with its quotes.
std::string StoredForm(const std::string& gbk_value) {
  std::string value;
  value.reserve(gbk_value.size() + 2);
  // A value never spans lines in the file: a line break would end it early.
  for (char c : gbk_value) value += (c == '\r' || c == '\n') ? ' ' : c;
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = '"' + value + '"';
  return value;
}

// The file cut at its section headers: the lines before the first header (name empty), then
// each section from its header line on.
struct Block {
  std::string name;
  std::string text;
};
std::vector<Block> Blocks(const std::string& text) {
  std::vector<Block> blocks{{}};
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    end = end == std::string::npos ? text.size() : end + 1;
    const std::string_view line(text.data() + at, end - at);
    const size_t open = line.find_first_not_of(" \t");
    const size_t close = line.find(']');
    if (open != std::string_view::npos && line[open] == '[' && close != std::string_view::npos &&
        close > open) {
      std::string_view name = line.substr(open + 1, close - open - 1);
      while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
      while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
      blocks.push_back({std::string(name), {}});
    }
    blocks.back().text.append(line);
    at = end;
  }
  return blocks;
}

// The file as it was, with only `section` as SimpleIni wrote it in `rendered`: every other
// section (and a hand-written [提醒] when the panel writes) stays byte for byte.
std::string SpliceSection(const std::string& original, const std::string& rendered,
                          const std::string& section) {
  std::string fresh;
  for (const Block& b : Blocks(rendered)) {
    if (b.name == section && !b.text.empty()) fresh = b.text;
  }
  std::string out;
  bool placed = false;
  for (const Block& b : Blocks(original)) {
    if (b.name != section || b.text.empty()) {
      out += b.text;
    } else if (!placed) {  // SimpleIni merged repeated headers into the first
      out += fresh;
      placed = true;
    }
  }
  if (!placed) {
    if (!out.empty() && out.back() != '\n') out += '\n';
    if (!out.empty() && !out.ends_with("\n\n")) out += '\n';
    out += fresh;
  }
  return out;
}

}  // namespace

std::string SettingsPath(const DataFolder& folder) { return folder.File("Peizhi.ini"); }

std::optional<std::string> ReadSettingIfPresent(const std::string& path, const SettingKey& key) {
  CSimpleIniA ini(/*a_bIsUtf8=*/false, /*a_bMultiKey=*/false, /*a_bMultiLine=*/false);
  if (LoadIni(path, ini) != FileRead::kRead) return std::nullopt;
  const char* value = ini.GetValue(SectionOf(key).c_str(), Utf8ToGbk(key.key).c_str(), nullptr);
  if (!value) return std::nullopt;
  return std::string(value);
}

std::string ReadSetting(const std::string& path, const SettingKey& key) {
  return ReadSettingIfPresent(path, key).value_or(Utf8ToGbk(key.default_value));
}

bool WriteSetting(const std::string& path, const SettingKey& key, const std::string& gbk_value,
                  std::string* kept_as) {
  CSimpleIniA ini(false, false, false);
  std::string original;
  if (LoadIni(path, ini, &original) == FileRead::kUnreadable) {
    // The seller's server, account and password may be in there: keep it, start afresh.
    std::string moved = MoveAside(path, "unreadable", std::time(nullptr));
    if (moved.empty()) return false;
    if (kept_as) *kept_as = moved;
    ini.Reset();
    ini.SetQuotes(true);
    original.clear();
  }
  // Values kept from the file were read without their protecting quotes: store them again.
  CSimpleIniA::TNamesDepend sections;
  ini.GetAllSections(sections);
  for (const auto& section : sections) {
    CSimpleIniA::TNamesDepend keys;
    ini.GetAllKeys(section.pItem, keys);
    for (const auto& name : keys) {
      const std::string kept = StoredForm(ini.GetValue(section.pItem, name.pItem, ""));
      ini.SetValue(section.pItem, name.pItem, kept.c_str());
    }
  }
  const std::string value = StoredForm(gbk_value);
  if (ini.SetValue(SectionOf(key).c_str(), Utf8ToGbk(key.key).c_str(), value.c_str()) < 0) {
    return false;
  }
  std::string out;
  if (ini.Save(out) < 0) return false;
  out = SpliceSection(original, out, SectionOf(key));
  return ReplaceFileWith(path, out, FileAccess::kOwnerOnly);  // it may hold the password
}

int RemoveLeftoverTemporaries(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  // The names TempPathBeside makes: "<name>.tmp-" and eight lower-case hex digits.
  const std::string prefix = path.substr(slash == std::string::npos ? 0 : slash + 1) + ".tmp-";
  int removed = 0;
  for (const std::string& name : FolderEntries(folder)) {
    if (name.size() != prefix.size() + 8 || name.compare(0, prefix.size(), prefix) != 0) continue;
    if (name.find_first_not_of("0123456789abcdef", prefix.size()) != std::string::npos) continue;
    if (RemoveRegularFile(folder + "/" + name)) ++removed;
  }
  return removed;
}

int ParseBounceInterval(const std::string& text) {
  size_t a = text.find_first_not_of(" \t");
  if (a == std::string::npos) return 5;
  size_t b = text.find_last_not_of(" \t");
  const std::string digits = text.substr(a, b - a + 1);
  if (digits.empty() || digits.size() > 5 ||
      digits.find_first_not_of("0123456789") != std::string::npos) {
    return 5;
  }
  return std::max(1, std::stoi(digits));
}

}  // namespace fahuo
