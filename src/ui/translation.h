#pragma once
// Qt's own texts (message-box buttons, context menus) in Chinese, whatever the desktop's
// language: every text of fahuo itself is Chinese.
class QCoreApplication;

namespace fahuo {

// Installs Qt's Chinese catalogues from Qt's translations folder into `app`. Returns
// whether the base catalogue (qtbase_zh_CN) was found; without it Qt keeps its English.
bool LoadQtChinese(QCoreApplication& app);

}  // namespace fahuo
