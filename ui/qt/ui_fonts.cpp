#include "ui/qt/ui_fonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace dd {
namespace {

const QString kSong = QStringLiteral("宋体");

QString FirstInstalled(const QStringList& wanted) {
  const QStringList installed = QFontDatabase::families();
  for (const QString& family : wanted) {
    if (installed.contains(family, Qt::CaseInsensitive)) return family;
  }
  // Any face that can write Simplified Chinese.
  const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
  return chinese.isEmpty() ? QString() : chinese.front();
}

// Ming faces whose Latin letters are half-width, like the face the layout was drawn
// for, come first: "rpm" at 12 points is 24 px in AR PL UMing against 33 px in Noto
// Serif CJK, and the unit labels beside the grid's last column have little room.
QString SongFamily() {
  static const QString family =
      FirstInstalled({kSong, "SimSun", "NSimSun", "AR PL UMing CN", "AR PL SungtiL GB",
                      "Noto Serif CJK SC", "Source Han Serif SC", "Noto Sans CJK SC",
                      "WenQuanYi Zen Hei", "WenQuanYi Micro Hei", "Droid Sans Fallback"});
  return family;
}

QString WindowFamily() {
  static const QString family =
      FirstInstalled({kSong, "SimSun", "Noto Sans CJK SC", "Source Han Sans SC",
                      "WenQuanYi Zen Hei", "WenQuanYi Micro Hei", "Microsoft YaHei",
                      "Noto Serif CJK SC", "Droid Sans Fallback"});
  return family;
}

}  // namespace

void InstallFontSubstitutes() {
  const QString song = SongFamily();
  if (!song.isEmpty() && song.compare(kSong, Qt::CaseInsensitive) != 0 &&
      QFont::substitute(kSong).compare(song, Qt::CaseInsensitive) != 0) {
    QFont::insertSubstitution(kSong, song);
  }
}

QFont WindowFont() {
  QFont font(WindowFamily());
  font.setPointSize(9);
  return font;
}

QFont NamedFont(const QString& family, int points) {
  QFont font = WindowFont();
  if (!family.isEmpty()) {
    InstallFontSubstitutes();
    font.setFamily(family == kSong ? SongFamily() : family);
  }
  if (points > 0) font.setPointSize(points);
  return font;
}

}  // namespace dd
