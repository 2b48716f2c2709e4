#include "ui/translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace fahuo {

bool LoadQtChinese(QCoreApplication& app) {
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  bool base_loaded = false;
  // qtwebengine: the embedded browser's context menu.
  for (const QString& catalogue : {QStringLiteral("qtbase"), QStringLiteral("qtwebengine")}) {
    auto* translator = new QTranslator(&app);
    if (translator->load(catalogue + QStringLiteral("_zh_CN"), folder) &&
        QCoreApplication::installTranslator(translator)) {
      if (catalogue == QStringLiteral("qtbase")) base_loaded = true;
    } else {
      delete translator;
    }
  }
  return base_loaded;
}

}  // namespace fahuo
