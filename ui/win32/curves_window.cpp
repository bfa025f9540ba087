#include "ui/win32/curves_window.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "app/number_text.h"
#include "app/session.h"
#include "ui/curve_view.h"
#include "ui/file_texts.h"
#include "ui/win32/tool_window_kit.h"
#include "ui/win32/wide_text.h"

namespace dd {
namespace {

enum : int { kFirstCheck = 100, kNormalise = kFirstCheck + kQuantityCount, kSpan, kPause, kReset, kHint,
             kExportCsv, kSpanLabel, kPlot };
constexpr UINT_PTR kRefreshTimer = 1;

constexpr std::array<COLORREF, kQuantityCount> kColors{RGB(31, 119, 180), RGB(255, 127, 14),
                                                       RGB(214, 39, 40), RGB(44, 160, 44),
                                                       RGB(148, 103, 189)};
// Pale, drawn under the curves.
constexpr std::array<COLORREF, kMotionKindCount> kBandColors{RGB(255, 240, 196), RGB(214, 232, 255),
                                                             RGB(212, 240, 212)};

struct CurvesState {
  explicit CurvesState(Session& s) : session(s), view(s.samples) {}
  Session& session;
  CurveView view;
  HWND window = nullptr, plot = nullptr;
  int dragFrom = -1, dragTo = -1;  // plot x of a dragged span, -1 when none
  std::vector<CurvePoint> points;   // reused between paintings
};

CurvesState* current = nullptr;

// Where the axes, the plot and the legend go in the plot window.
struct PlotGeometry {
  RECT area{};  // the curves
  std::array<int, kCurveAxisCount> axisX{};  // the axes' lines; -1 for hidden ones
};

PlotGeometry Geometry(const CurvesState& s) {
  RECT client;
  GetClientRect(s.plot, &client);
  const int axisWidth = Scaled(64);
  PlotGeometry g;
  int left = Scaled(8), right = client.right - Scaled(8);
  for (int axis = 0; axis < kCurveAxisCount; ++axis) {
    g.axisX[static_cast<std::size_t>(axis)] = -1;
    if (!s.view.AxisShown(axis)) continue;
    // The positions' axes on the left, speed and current on the right.
    if (axis < 2) {
      left += axisWidth;
      g.axisX[static_cast<std::size_t>(axis)] = left;
    } else {
      right -= axisWidth;
      g.axisX[static_cast<std::size_t>(axis)] = right;
    }
  }
  g.area = RECT{left, Scaled(24), std::max(left + 1, right),
                std::max(Scaled(25), static_cast<int>(client.bottom) - Scaled(60))};
  return g;
}

// Tick labels as the form writes numbers: whole ones grouped ("-10,000"), else with the
// step's decimals.
std::wstring Number(double value, double step) {
  if (step >= 1) return Wide(Grouped(value));
  return Wide(FixedDecimals(value, std::min(6, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)))));
}

void Text(HDC dc, int x, int y, const std::wstring& text, UINT align) {
  SetTextAlign(dc, align);
  TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

void DrawAxis(HDC dc, const CurvesState& s, const PlotGeometry& g, int axis) {
  const int x = g.axisX[static_cast<std::size_t>(axis)];
  const auto [low, high] = s.view.AxisRange(axis);
  const RECT& a = g.area;
  const bool onLeft = axis < 2;
  MoveToEx(dc, x, a.top, nullptr);
  LineTo(dc, x, a.bottom);
  const std::vector<double> ticks = AxisTicks(low, high, std::max(2, static_cast<int>(a.bottom - a.top) / Scaled(40)));
  const double step = ticks.size() > 1 ? ticks[1] - ticks[0] : 1;
  const int halfLine = Scaled(7);
  for (const double t : ticks) {
    const int y = a.bottom - static_cast<int>(std::lround((t - low) / (high - low) * (a.bottom - a.top)));
    MoveToEx(dc, x, y, nullptr);
    LineTo(dc, onLeft ? x - Scaled(4) : x + Scaled(4), y);
    Text(dc, onLeft ? x - Scaled(6) : x + Scaled(6), y - halfLine, Number(t, step), onLeft ? TA_RIGHT : TA_LEFT);
  }
  const std::string title = s.view.Normalised() ? "归一化" : CurveAxisTitle(axis);
  Text(dc, x, Scaled(4), Wide(title), onLeft ? TA_RIGHT : TA_LEFT);
}

void DrawPlot(HDC dc, CurvesState& s, const RECT& client) {
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SelectObject(dc, ToolFont());
  SetBkMode(dc, TRANSPARENT);
  const PlotGeometry g = Geometry(s);
  const RECT& a = g.area;
  const double from = s.view.From(), to = s.view.To();
  auto xOf = [&](double t) { return a.left + static_cast<int>(std::lround((t - from) / (to - from) * (a.right - a.left))); };

  for (const MotionBand& band : s.view.Bands()) {
    const RECT r{xOf(band.start), a.top, std::max(xOf(band.end), xOf(band.start) + 1), a.bottom};
    HBRUSH brush = CreateSolidBrush(kBandColors[static_cast<std::size_t>(band.kind)]);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
  }
  // Time: grid lines and labels on whole steps of the local clock, so they do not crawl
  // as it scrolls. A clock label is about 70 pixels wide with its gap.
  HPEN grid = CreatePen(PS_SOLID, 1, RGB(225, 225, 225));
  HPEN old = static_cast<HPEN>(SelectObject(dc, grid));
  const std::vector<ClockTick> times = s.view.TimeTicks(std::max(2, static_cast<int>(a.right - a.left) / Scaled(90)));
  for (const ClockTick& t : times) {
    MoveToEx(dc, xOf(t.at), a.top, nullptr);
    LineTo(dc, xOf(t.at), a.bottom);
  }
  SelectObject(dc, GetStockObject(BLACK_PEN));
  SetTextColor(dc, RGB(0, 0, 0));
  for (const ClockTick& t : times) Text(dc, xOf(t.at), a.bottom + Scaled(3), Wide(t.label), TA_CENTER);
  Text(dc, (a.left + a.right) / 2, a.bottom + Scaled(20), L"时间（本地时间）", TA_CENTER);
  for (int axis = 0; axis < kCurveAxisCount; ++axis) {
    if (g.axisX[static_cast<std::size_t>(axis)] >= 0) DrawAxis(dc, s, g, axis);
  }
  const HRGN clip = CreateRectRgn(a.left, a.top, a.right + 1, a.bottom + 1);
  SelectClipRgn(dc, clip);
  std::vector<POINT> line;
  for (int q = 0; q < kQuantityCount; ++q) {
    const auto quantity = static_cast<Quantity>(q);
    if (!s.view.Shown(quantity)) continue;
    const auto [low, high] = s.view.AxisRange(s.view.Normalised() ? 0 : CurveAxisOf(quantity));
    s.view.Points(quantity, s.points);
    HPEN pen = CreatePen(quantity == Quantity::TargetPosition ? PS_DASH : PS_SOLID, 1, kColors[static_cast<std::size_t>(q)]);
    SelectObject(dc, pen);
    // A NaN value is a gap: each stretch between gaps is drawn on its own.
    const auto drawStretch = [&] {
      if (line.size() > 1) Polyline(dc, line.data(), static_cast<int>(line.size()));
      line.clear();
    };
    line.clear();
    for (const CurvePoint& p : s.points) {
      if (std::isnan(p.value)) {
        drawStretch();
        continue;
      }
      line.push_back({xOf(p.time), a.bottom - static_cast<int>(std::lround((p.value - low) / (high - low) * (a.bottom - a.top)))});
    }
    drawStretch();
    SelectObject(dc, GetStockObject(BLACK_PEN));
    DeleteObject(pen);
  }
  SelectClipRgn(dc, nullptr);
  DeleteObject(clip);
  if (s.dragFrom >= 0 && s.dragTo >= 0) {
    const RECT r{std::min(s.dragFrom, s.dragTo), a.top, std::max(s.dragFrom, s.dragTo) + 1, a.bottom};
    InvertRect(dc, &r);
  }
  SelectObject(dc, GetStockObject(NULL_BRUSH));
  Rectangle(dc, a.left, a.top, a.right + 1, a.bottom + 1);

  // The legend: every shown curve with its colour, then the bands.
  int x = a.left;
  const int y = client.bottom - Scaled(20);
  for (int q = 0; q < kQuantityCount; ++q) {
    if (!s.view.Shown(static_cast<Quantity>(q))) continue;
    HPEN pen = CreatePen(PS_SOLID, Scaled(2), kColors[static_cast<std::size_t>(q)]);
    SelectObject(dc, pen);
    MoveToEx(dc, x, y + Scaled(8), nullptr);
    LineTo(dc, x + Scaled(18), y + Scaled(8));
    SelectObject(dc, GetStockObject(BLACK_PEN));
    DeleteObject(pen);
    const std::wstring name = Wide(QuantityCaption(static_cast<Quantity>(q)));
    Text(dc, x + Scaled(22), y, name, TA_LEFT);
    SIZE size{};
    GetTextExtentPoint32W(dc, name.c_str(), static_cast<int>(name.size()), &size);
    x += Scaled(34) + size.cx;
  }
  for (int k = 0; k < kMotionKindCount; ++k) {
    const RECT swatch{x, y + Scaled(2), x + Scaled(18), y + Scaled(14)};
    HBRUSH brush = CreateSolidBrush(kBandColors[static_cast<std::size_t>(k)]);
    FillRect(dc, &swatch, brush);
    DeleteObject(brush);
    const std::wstring name = Wide(MotionKindCaption(static_cast<MotionKind>(k)));
    Text(dc, x + Scaled(22), y, name, TA_LEFT);
    SIZE size{};
    GetTextExtentPoint32W(dc, name.c_str(), static_cast<int>(name.size()), &size);
    x += Scaled(34) + size.cx;
  }
  SelectObject(dc, old);
  DeleteObject(grid);
}

int PlotColumns(const CurvesState& s) {
  const RECT a = Geometry(s).area;
  return a.right - a.left;
}

void Redraw(CurvesState& s) { InvalidateRect(s.plot, nullptr, FALSE); }

void ShowPaused(CurvesState& s) { SetDlgItemTextW(s.window, kPause, s.view.Paused() ? L"继续" : L"暂停"); }

void Refresh(CurvesState& s) {
  s.view.Refresh(PlotColumns(s));
  Redraw(s);
}

void SetPaused(CurvesState& s, bool paused) {
  s.view.SetPaused(paused);
  ShowPaused(s);
  Refresh(s);
}

void ZoomTo(CurvesState& s, double from, double to) {
  s.view.ZoomTo(from, to, PlotColumns(s));
  ShowPaused(s);
  Redraw(s);
}

bool ExportCsv(CurvesState& s, const std::wstring& path) { return WriteWholeFile(path, s.view.Csv()); }

void OnCommand(CurvesState& s, int id, int code) {
  if (id >= kFirstCheck && id < kFirstCheck + kQuantityCount) {
    s.view.SetShown(static_cast<Quantity>(id - kFirstCheck), IsDlgButtonChecked(s.window, id) == BST_CHECKED);
    Redraw(s);
  } else if (id == kNormalise) {
    s.view.SetNormalised(IsDlgButtonChecked(s.window, id) == BST_CHECKED);
    Redraw(s);
  } else if (id == kSpan && code == CBN_SELCHANGE) {
    s.view.SetSpan(static_cast<int>(SendDlgItemMessageW(s.window, kSpan, CB_GETCURSEL, 0, 0)));
    Refresh(s);
  } else if (id == kPause) {
    SetPaused(s, !s.view.Paused());
  } else if (id == kReset) {
    SetPaused(s, false);
  } else if (id == kExportCsv) {
    const std::wstring path = AskSaveFile(s.window, "导出 CSV", TimedFileName("实时曲线", "csv", std::chrono::system_clock::now()), "CSV 文件 (*.csv)|*.csv");
    if (!path.empty() && !ExportCsv(s, path)) {
      s.session.Message(MessageIcon::Error, "导出失败", "    无法写入文件，请换一个位置；");
    }
  }
}

LRESULT CALLBACK PlotProc(HWND plot, UINT message, WPARAM wParam, LPARAM lParam) {
  CurvesState* s = current;
  if (s == nullptr || s->plot != plot) return DefWindowProcW(plot, message, wParam, lParam);
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(plot, &paint);
      RECT client;
      GetClientRect(plot, &client);
      // Drawn off screen and copied at once: no flicker five times a second.
      HDC memory = CreateCompatibleDC(dc);
      HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
      HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
      DrawPlot(memory, *s, client);
      BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
      SelectObject(memory, oldBitmap);
      DeleteObject(bitmap);
      DeleteDC(memory);
      EndPaint(plot, &paint);
      return 0;
    }
    case WM_ERASEBKGND: return 1;
    case WM_LBUTTONDOWN:
      SetCapture(plot);
      s->dragFrom = s->dragTo = GET_X_LPARAM(lParam);
      return 0;
    case WM_MOUSEMOVE:
      if (s->dragFrom >= 0) {
        s->dragTo = GET_X_LPARAM(lParam);
        Redraw(*s);
      }
      return 0;
    case WM_LBUTTONUP: {
      if (s->dragFrom < 0) return 0;
      ReleaseCapture();
      const RECT a = Geometry(*s).area;
      const int x1 = std::clamp(std::min(s->dragFrom, s->dragTo), static_cast<int>(a.left), static_cast<int>(a.right));
      const int x2 = std::clamp(std::max(s->dragFrom, s->dragTo), static_cast<int>(a.left), static_cast<int>(a.right));
      s->dragFrom = s->dragTo = -1;
      const double from = s->view.From(), perPixel = (s->view.To() - from) / std::max(1L, a.right - a.left);
      if (x2 - x1 > 3) {
        ZoomTo(*s, from + (x1 - a.left) * perPixel, from + (x2 - a.left) * perPixel);
      } else {
        Redraw(*s);
      }
      return 0;
    }
    case WM_RBUTTONUP: {
      // Zooms out: twice the span around the same middle.
      const double middle = (s->view.From() + s->view.To()) / 2, half = s->view.To() - s->view.From();
      ZoomTo(*s, middle - half, middle + half);
      return 0;
    }
    default: break;
  }
  return DefWindowProcW(plot, message, wParam, lParam);
}

void Build(CurvesState& s) {
  for (int q = 0; q < kQuantityCount; ++q) {
    AddControl(s.window, L"Button", QuantityCaption(static_cast<Quantity>(q)), BS_AUTOCHECKBOX | WS_TABSTOP, kFirstCheck + q);
    CheckDlgButton(s.window, kFirstCheck + q, BST_CHECKED);
  }
  AddControl(s.window, L"Button", "归一化", BS_AUTOCHECKBOX | WS_TABSTOP, kNormalise);
  AddControl(s.window, L"Static", "时间跨度：", SS_LEFT, kSpanLabel);
  HWND span = AddControl(s.window, WC_COMBOBOXW, "", CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL, kSpan);
  for (const char* text : CurveView::kSpanTexts) SendMessageW(span, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(text).c_str()));
  SendMessageW(span, CB_SETCURSEL, 0, 0);
  AddControl(s.window, L"Button", "暂停", BS_PUSHBUTTON | WS_TABSTOP, kPause);
  AddControl(s.window, L"Button", "复位", BS_PUSHBUTTON | WS_TABSTOP, kReset);
  AddControl(s.window, L"Static", "拖动鼠标框选区域放大，右键缩小", SS_LEFT, kHint);
  AddControl(s.window, L"Button", "导出 CSV", BS_PUSHBUTTON | WS_TABSTOP, kExportCsv);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (!GetClassInfoExW(GetModuleHandleW(nullptr), L"DriveDeskCurvePlot", &wc)) {
    wc.lpfnWndProc = PlotProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32515));  // IDC_CROSS
    wc.lpszClassName = L"DriveDeskCurvePlot";
    RegisterClassExW(&wc);
  }
  s.plot = AddControl(s.window, L"DriveDeskCurvePlot", "", 0, kPlot);
}

void Layout(CurvesState& s, int width, int height) {
  const int m = Scaled(6), row = Scaled(24);
  int x = m;
  auto place = [&](int id, int w, int y, int h) {
    MoveWindow(GetDlgItem(s.window, id), x, y, Scaled(w), h, TRUE);
    x += Scaled(w) + Scaled(6);
  };
  for (int q = 0; q < kQuantityCount; ++q) place(kFirstCheck + q, q < 3 ? 82 : 118, m, row);
  place(kNormalise, 70, m, row);
  x = m;
  const int y = m * 2 + row;
  place(kSpanLabel, 70, y + Scaled(4), row - Scaled(4));
  place(kSpan, 84, y, Scaled(120));
  place(kPause, 60, y, row);
  place(kReset, 60, y, row);
  place(kHint, 220, y + Scaled(4), row - Scaled(4));
  x = std::max(x, width - m - Scaled(84));
  place(kExportCsv, 84, y, row);
  const int top = y + row + m;
  MoveWindow(s.plot, m, top, width - 2 * m, std::max(0, height - top - m), TRUE);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CurvesState* s = current;
  if (s == nullptr || (s->window != nullptr && s->window != window)) return DefWindowProcW(window, message, wParam, lParam);
  switch (message) {
    case WM_CREATE:
      s->window = window;
      Build(*s);
      // Five refreshes a second while open; closed, the window costs nothing.
      SetTimer(window, kRefreshTimer, CurveView::kRefreshMs, nullptr);
      return 0;
    case WM_SIZE:
      Layout(*s, LOWORD(lParam), HIWORD(lParam));
      Refresh(*s);
      return 0;
    case WM_TIMER: Refresh(*s); return 0;
    case WM_COMMAND: OnCommand(*s, LOWORD(wParam), HIWORD(wParam)); return 0;
    case WM_GETMINMAXINFO:
      reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {Scaled(640), Scaled(360)};
      return 0;
    case CurvesWindow::kExportCsvMessage: return ExportCsv(*s, reinterpret_cast<const wchar_t*>(lParam)) ? 1 : 0;
    case WM_DESTROY:
      KillTimer(window, kRefreshTimer);
      return 0;
    case WM_NCDESTROY:
      current = nullptr;
      delete s;
      return DefWindowProcW(window, message, wParam, lParam);
    default: break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

void CurvesWindow::ShowFor(HWND mainWindow, Session& session) {
  if (session.samples == nullptr) return;
  if (current == nullptr) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    current = new CurvesState(session);
    // Owned by the main window: above it, and closed with it.
    if (!CreateWindowExW(0, ToolWindowClass(L"DriveDeskCurves", WindowProc), L"实时曲线", WS_OVERLAPPEDWINDOW,
                         CW_USEDEFAULT, CW_USEDEFAULT, Scaled(960), Scaled(560), mainWindow, nullptr,
                         GetModuleHandleW(nullptr), nullptr)) {
      if (current != nullptr && current->window == nullptr) delete current;
      current = nullptr;
      return;
    }
  }
  ShowWindow(current->window, SW_SHOWNORMAL);
  SetForegroundWindow(current->window);
}

HWND CurvesWindow::Current() { return current != nullptr ? current->window : nullptr; }

}  // namespace dd
