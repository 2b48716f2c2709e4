#include "app/mail_presets_menu.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QStyle>

#include "delivery/mail_presets.h"

namespace fahuo {

QMenu* AttachMailPresets(QLineEdit* server_field) {
  auto* menu = new QMenu(server_field);
  for (const MailPreset& preset : MailPresets()) {
    const QString name = QString::fromUtf8(preset.name.data(), preset.name.size());
    const QString text = QString::fromStdString(ServerText(preset));
    QAction* pick = menu->addAction(QStringLiteral("%1    %2").arg(name, text));
    pick->setObjectName(QStringLiteral("邮箱预设_") + name);
    QObject::connect(pick, &QAction::triggered, server_field, [server_field, text] {
      server_field->setText(text);
      server_field->setFocus();
    });
  }
  QAction* arrow = server_field->addAction(
      server_field->style()->standardIcon(QStyle::SP_ArrowDown), QLineEdit::TrailingPosition);
  arrow->setObjectName(QStringLiteral("邮箱预设"));
  arrow->setToolTip(QStringLiteral("常用邮箱"));
  QObject::connect(arrow, &QAction::triggered, server_field, [server_field, menu] {
    menu->popup(server_field->mapToGlobal(QPoint(0, server_field->height())));
  });
  return menu;
}

}  // namespace fahuo
