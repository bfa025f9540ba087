#include "ui/qt/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace dd {

bool InstallQtChinese(QCoreApplication& app) {
  // The window is Chinese whatever the machine's language; Qt's own texts follow it.
  auto* translator = new QTranslator(&app);
  const bool loaded = translator->load(QLocale(QLocale::Chinese, QLocale::China), "qtbase", "_",
                                       QLibraryInfo::path(QLibraryInfo::TranslationsPath));
  if (!loaded) {
    delete translator;
    return false;
  }
  QCoreApplication::installTranslator(translator);
  return true;
}

}  // namespace dd
