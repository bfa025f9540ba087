// Fonts of the windows: a CJK font for every caption, and the Song face ("宋体")
// that some labels ask for, mapped to whatever Song-style font is installed.
#pragma once

#include <QFont>
#include <QString>

namespace dd {

// Maps "宋体" to an installed Song-style font (or any CJK font) when the face itself
// is missing. Needs a QGuiApplication; safe to call more than once.
void InstallFontSubstitutes();
// The windows' default font: a CJK face at 9 points.
QFont WindowFont();
// A font of the given family and size as the layout table names it; an empty family
// means the window font.
QFont NamedFont(const QString& family, int points);

}  // namespace dd
