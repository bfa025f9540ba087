// Fonts of the windows at a given DPI: a CJK face for every caption, and the Song face
// ("宋体") that some labels ask for, or the closest installed face where it is missing.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

namespace dd {

// The windows' default font: a CJK face at 9 points. Kept for the program's life.
HFONT WindowFont(int dpi);
// A font as the layout table names it; an empty family means the window font's face,
// 0 points the window font's size. Kept for the program's life.
HFONT NamedFont(const std::string& family, int points, int dpi);
// The face that stands for `family` on this machine.
std::wstring InstalledFace(const std::string& family);

}  // namespace dd
