#include "app/settings_binder.h"

#include <utility>

#include "app/core/settings.h"
#include "app/main_window.h"
#include "app/support/qt_text.h"

namespace fahuo {
namespace {

std::pair<QLineEdit*, const SettingKey*> Binding(MainWindow* w, int i) {
  switch (i) {
    case 0: return {w->编辑框_邮箱服务器地址, &kSettingServer};
    case 1: return {w->编辑框_邮箱用户名, &kSettingAccount};
    case 2: return {w->编辑框_邮箱密码, &kSettingPassword};
    default: return {w->编辑框_间隔时间, &kSettingInterval};
  }
}

}  // namespace

SettingsBinder::SettingsBinder(MainWindow* window) : QObject(window), window_(window) {
  for (int i = 0; i < 4; ++i) {
    auto [edit, key] = Binding(window, i);
    connect(edit, &QLineEdit::textChanged, this, [this, key = key](const QString& text) {
      if (loading_) return;
      WriteSetting(SettingsPath(), *key, ToGbk(text));  // a failed write is not reported
    });
  }
}

void SettingsBinder::Load() {
  loading_ = true;
  const std::string path = SettingsPath();
  for (int i = 0; i < 4; ++i) {
    auto [edit, key] = Binding(window_, i);
    edit->setText(FromGbk(ReadSetting(path, *key)));
  }
  loading_ = false;
}

}  // namespace fahuo
