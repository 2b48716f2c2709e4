#include "app/core/settings.h"

// Bytes in, bytes out: the file is GBK and SimpleIni must not convert it.
#define SI_NO_CONVERSION
#include <SimpleIni.h>

#include <cstdio>
#include <ctime>

#include "platform/file_replace.h"
#include "platform/files.h"
#include "platform/gbk.h"
#include "platform/program_folder.h"

namespace fahuo {

const SettingKey kSettingServer{"IP", "smtp.qq.com"};
const SettingKey kSettingAccount{"端口", "邮箱账号"};
const SettingKey kSettingPassword{"连接码", ""};
const SettingKey kSettingInterval{"定时", "2000"};

namespace {

const std::string& Section() { return FAHUO_GBK("支付宝自助"); }

// Refuses absurdly large files rather than reading them whole.
constexpr size_t kMaxSettingsBytes = 1 << 20;

FileRead LoadIni(const std::string& path, CSimpleIniA& ini) {
  // Quotes keep the blanks around a value (a password may have them).
  ini.SetQuotes(true);
  std::string bytes;
  FileRead state = ReadSmallRegularFile(path, kMaxSettingsBytes, bytes);
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

}  // namespace

std::string SettingsPath(const DataFolder& folder) { return folder.File("Peizhi.ini"); }

std::string ReadSetting(const std::string& path, const SettingKey& key) {
  CSimpleIniA ini(/*a_bIsUtf8=*/false, /*a_bMultiKey=*/false, /*a_bMultiLine=*/false);
  const std::string fallback = Utf8ToGbk(key.default_value);
  if (LoadIni(path, ini) != FileRead::kRead) return fallback;
  const char* value = ini.GetValue(Section().c_str(), Utf8ToGbk(key.key).c_str(), nullptr);
  return value ? std::string(value) : fallback;
}

bool WriteSetting(const std::string& path, const SettingKey& key, const std::string& gbk_value,
                  std::string* kept_as) {
  CSimpleIniA ini(false, false, false);
  if (LoadIni(path, ini) == FileRead::kUnreadable) {
    // The seller's server, account and password may be in there: keep it, start afresh.
    std::string moved = MoveAside(path, "unreadable", std::time(nullptr));
    if (moved.empty()) return false;
    if (kept_as) *kept_as = moved;
    ini.Reset();
    ini.SetQuotes(true);
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
  if (ini.SetValue(Section().c_str(), Utf8ToGbk(key.key).c_str(), value.c_str()) < 0) {
    return false;
  }
  std::string out;
  if (ini.Save(out) < 0) return false;
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

}  // namespace fahuo
