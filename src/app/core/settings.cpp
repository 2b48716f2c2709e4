#include "app/core/settings.h"

// Bytes in, bytes out: the file is GBK and SimpleIni must not convert it.
#define SI_NO_CONVERSION
#include <SimpleIni.h>

#include <cstdio>

#include "platform/file_replace.h"
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
constexpr long kMaxSettingsBytes = 1 << 20;

bool LoadIni(const std::string& path, CSimpleIniA& ini) {
  // Quotes keep the blanks around a value (a password may have them).
  ini.SetQuotes(true);
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::string bytes;
  char buffer[8192];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
    bytes.append(buffer, n);
    if (static_cast<long>(bytes.size()) > kMaxSettingsBytes) break;
  }
  std::fclose(f);
  if (static_cast<long>(bytes.size()) > kMaxSettingsBytes) return false;
  return ini.LoadData(bytes) >= 0;
}

}  // namespace

std::string SettingsPath() { return ProgramFile("Peizhi.ini"); }

std::string ReadSetting(const std::string& path, const SettingKey& key) {
  CSimpleIniA ini(/*a_bIsUtf8=*/false, /*a_bMultiKey=*/false, /*a_bMultiLine=*/false);
  const std::string fallback = Utf8ToGbk(key.default_value);
  if (!LoadIni(path, ini)) return fallback;
  const char* value = ini.GetValue(Section().c_str(), Utf8ToGbk(key.key).c_str(), nullptr);
  return value ? std::string(value) : fallback;
}

bool WriteSetting(const std::string& path, const SettingKey& key, const std::string& gbk_value) {
  CSimpleIniA ini(false, false, false);
  LoadIni(path, ini);
  ini.SetQuotes(true);  // a missing or unreadable file starts afresh
  // A value never spans lines in the file: a line break would end it early.
  std::string value;
  for (char c : gbk_value) value += (c == '\r' || c == '\n') ? ' ' : c;
  if (ini.SetValue(Section().c_str(), Utf8ToGbk(key.key).c_str(), value.c_str()) < 0) {
    return false;
  }
  std::string out;
  if (ini.Save(out) < 0) return false;
  return ReplaceFileWith(path, out, 0600);  // it holds the mailbox password
}

}  // namespace fahuo
