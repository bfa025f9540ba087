#include "ui/win32/ui_fonts.h"

#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "ui/win32/wide_text.h"

namespace dd {
namespace {

const std::wstring kSong = L"宋体";

int CALLBACK CollectFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM faces) {
  reinterpret_cast<std::set<std::wstring>*>(faces)->insert(font->lfFaceName);
  return 1;
}

const std::set<std::wstring>& InstalledFaces() {
  static const std::set<std::wstring> faces = [] {
    std::set<std::wstring> found;
    HDC dc = ::GetDC(nullptr);
    LOGFONTW wanted = {};
    wanted.lfCharSet = DEFAULT_CHARSET;
    ::EnumFontFamiliesExW(dc, &wanted, CollectFace, reinterpret_cast<LPARAM>(&found), 0);
    ::ReleaseDC(nullptr, dc);
    return found;
  }();
  return faces;
}

std::wstring FirstInstalled(const std::vector<std::wstring>& wanted) {
  for (const std::wstring& face : wanted) {
    if (InstalledFaces().count(face) != 0) return face;
  }
  return L"MS Shell Dlg 2";  // the system maps it to a face it has
}

// Ming faces with half-width Latin letters first, as the layout was drawn for (see the
// README: the unit labels beside the grid have little room).
const std::wstring& SongFace() {
  static const std::wstring face =
      FirstInstalled({kSong, L"SimSun", L"NSimSun", L"AR PL UMing CN", L"AR PL SungtiL GB",
                      L"Noto Serif CJK SC", L"Noto Sans CJK SC", L"WenQuanYi Zen Hei",
                      L"Microsoft YaHei"});
  return face;
}

const std::wstring& WindowFace() {
  static const std::wstring face =
      FirstInstalled({kSong, L"SimSun", L"Microsoft YaHei", L"Noto Sans CJK SC", L"WenQuanYi Zen Hei",
                      L"WenQuanYi Micro Hei", L"AR PL UMing CN", L"Noto Serif CJK SC"});
  return face;
}

}  // namespace

std::wstring InstalledFace(const std::string& family) {
  if (family.empty()) return WindowFace();
  const std::wstring wide = Wide(family);
  return wide == kSong ? SongFace() : wide;
}

HFONT NamedFont(const std::string& family, int points, int dpi) {
  static std::map<std::tuple<std::string, int, int>, HFONT> made;
  const int size = points > 0 ? points : 9;
  HFONT& font = made[{family, size, dpi}];
  if (font == nullptr) {
    LOGFONTW wanted = {};
    wanted.lfHeight = -::MulDiv(size, dpi, 72);
    wanted.lfWeight = FW_NORMAL;
    wanted.lfCharSet = DEFAULT_CHARSET;
    wanted.lfQuality = CLEARTYPE_QUALITY;
    const std::wstring face = InstalledFace(family);
    lstrcpynW(wanted.lfFaceName, face.c_str(), LF_FACESIZE);
    font = ::CreateFontIndirectW(&wanted);
  }
  return font;
}

HFONT WindowFont(int dpi) { return NamedFont({}, 9, dpi); }

}  // namespace dd
