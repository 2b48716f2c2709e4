#pragma once
// GBK bytes <-> QString, the one place where the core's text meets Qt's.
#include <QString>
#include <string>
#include <string_view>

#include "platform/gbk.h"

namespace fahuo {

inline QString FromGbk(std::string_view gbk) { return QString::fromStdString(GbkToUtf8(gbk)); }

inline std::string ToGbk(const QString& text) { return Utf8ToGbk(text.toStdString()); }

}  // namespace fahuo
