#pragma once

class QCoreApplication;
class QTranslator;

namespace platform {

// Loads Qt's own Chinese texts (qtbase_zh_CN from Qt's translations folder)
// into `translator` and installs it, so that standard buttons read
// "确定"/"取消" like the rest of the program. False when the translation is
// not installed; the buttons then keep Qt's English.
bool installQtChinese(QCoreApplication &app, QTranslator &translator);

} // namespace platform
