// Qt's own texts in Chinese: the file dialogs ("查找范围", "文件名", "取消") and the
// message boxes' standard buttons ("确定"), from Debian's qt6-translations-l10n.
#pragma once

class QCoreApplication;

namespace dd {

// Loads Qt's Simplified Chinese translations into `app`; false when they are not
// installed (the dialogs then stay in English).
bool InstallQtChinese(QCoreApplication& app);

}  // namespace dd
