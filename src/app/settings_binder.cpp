#include "app/settings_binder.h"

#include <QLineEdit>
#include <utility>

#include "app/core/activity_log.h"
#include "app/core/settings.h"
#include "ui/qt_text.h"

namespace fahuo {
namespace {

std::pair<QLineEdit*, const SettingKey*> Binding(const SettingsBinder::Fields& f, int i) {
  switch (i) {
    case 0:
      return {f.编辑框_邮箱服务器地址, &kSettingServer};
    case 1:
      return {f.编辑框_邮箱用户名, &kSettingAccount};
    case 2:
      return {f.编辑框_邮箱密码, &kSettingPassword};
    default:
      return {f.编辑框_间隔时间, &kSettingInterval};
  }
}

}  // namespace

SettingsBinder::SettingsBinder(const Fields& fields, std::string settings_path, ActivityLog& log,
                               QObject* parent)
    : QObject(parent), fields_(fields), path_(std::move(settings_path)), log_(log) {
  for (int i = 0; i < 4; ++i) {
    auto [edit, key] = Binding(fields_, i);
    connect(edit, &QLineEdit::textChanged, this, [this, key = key](const QString& text) {
      if (!loading_) Save(*key, text);
    });
  }
}

void SettingsBinder::Log(const QString& line) { log_.Append(ToGbk(line + QStringLiteral("\r\n"))); }

// Writes one value: the password through the password store, the others to the file.
bool SettingsBinder::Write(const std::string& path, const SettingKey& key,
                           const std::string& gbk_value) {
  PasswordWrite write;
  if (&key == &kSettingPassword) {
    write = passwords_->Write(path, gbk_value);
  } else {
    write.ok = WriteSetting(path, key, gbk_value, &write.kept_as);
  }
  if (!write.kept_as.empty()) {
    // The name is ASCII: the settings file's own name and a time stamp.
    const QString name = QString::fromStdString(write.kept_as.substr(write.kept_as.rfind('/') + 1));
    Log(QStringLiteral("设置文件Peizhi.ini无法读取，已改名保留为 %1").arg(name));
  }
  if (write.moved_to_keyring) Log(QStringLiteral("邮箱密码已从Peizhi.ini移入系统密钥环"));
  if (write.left_keyring) {
    Log(QStringLiteral("系统密钥环没有应答，邮箱密码改为保存在Peizhi.ini"));
  }
  if (&key == &kSettingPassword) ShowWherePasswordIs();
  return write.ok;
}

void SettingsBinder::ShowWherePasswordIs() {
  fields_.编辑框_邮箱密码->setToolTip(
      passwords_->InKeyring()
          ? QStringLiteral("邮箱密码保存在系统密钥环中，Peizhi.ini里不存密码")
          : QStringLiteral("邮箱密码以明文保存在数据文件夹的Peizhi.ini中（仅本人可读）"));
}

void SettingsBinder::Save(const SettingKey& key, const QString& text) {
  const bool ok = Write(path_, key, ToGbk(text));
  if (ok == !failing_) return;
  failing_ = !ok;
  if (failing_) {
    const QString message = QStringLiteral("设置无法保存到Peizhi.ini（文件夹不可写或磁盘已满）");
    Log(message);
    emit writeFailed(message);
  } else {
    const QString message = QStringLiteral("设置已重新保存到Peizhi.ini");
    Log(message);
    emit writeRecovered(message);
  }
}

void SettingsBinder::Load() {
  loading_ = true;
  RemoveLeftoverTemporaries(path_);
  for (int i = 0; i < 4; ++i) {
    auto [edit, key] = Binding(fields_, i);
    edit->setText(
        FromGbk(key == &kSettingPassword ? passwords_->Read(path_) : ReadSetting(path_, *key)));
  }
  loading_ = false;
  ShowWherePasswordIs();
}

}  // namespace fahuo
