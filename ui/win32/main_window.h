// The main window, built from the layout table. It mirrors the control model,
// forwards every event by control to the router, and hosts the settings dialog. The
// menu bar ("文件(F)", "工具(T)", "帮助(H)") sits above the client area, which is
// exactly the designed form.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/win32/control_mirror.h"
#include "ui/win32/form_widgets.h"

namespace dd {

struct Session;
class SettingsDialog;

class MainWindow {
 public:
  // The model must already hold the controls (DefineControls).
  explicit MainWindow(Session& session);
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  HWND Handle() const { return hwnd_; }
  // The window a message box belongs to: the open dialog, else this one.
  HWND ActiveWindow() const;
  // A modal window of a menu item (nullptr when it closes): messages sit on it.
  void SetModalWindow(HWND window) { modal_ = window; }
  FormWidgets& Controls() { return *controls_; }
  ControlMirror& Mirror() { return *mirror_; }
  HWND Widget(Control id) const { return controls_->Window(id); }

  HMENU FileMenu() const { return fileMenu_; }
  HMENU ToolsMenu() const { return toolsMenu_; }
  HMENU HelpMenu() const { return helpMenu_; }
  // Adds an item to a menu; returns its command id (WM_COMMAND).
  UINT AddMenuItem(HMENU menu, const std::string& text, std::function<void()> action);
  // Runs before a menu of the bar opens (to enable or disable its items).
  void OnMenuOpen(std::function<void(HMENU)> hook) { menuHooks_.push_back(std::move(hook)); }

  // Runs the load handler of the main window and shows its result; call before the first show.
  void Load();
  void Show();
  void SyncNow() { mirror_->Sync(); }
  // The window is closed and destroyed (after its close handler ran).
  bool Closed() const { return hwnd_ == nullptr; }
  // Posts WM_QUIT when the window is destroyed (the program's loop ends).
  void QuitOnDestroy() { quitOnDestroy_ = true; }
  // What the close box does instead of running the close handler and closing (the
  // program: its orderly end, with a deadline).
  void SetCloseAction(std::function<void()> action) { closeAction_ = std::move(action); }

  // Sets the outer window size in twips: the client area becomes that size less the
  // designed window frame, at the window's DPI.
  void SetOuterSize(int widthTwips, int heightTwips);

  // Shows the settings dialog modally; returns when it closes. Nothing happens while it is open.
  void RunSettingsDialog();
  void CloseSettingsDialog();
  SettingsDialog* OpenDialog() const { return dialog_; }
  void ShowAbout();

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  void OnClose();

  Session& session_;
  std::unique_ptr<ControlMirror> mirror_;
  HWND hwnd_ = nullptr;
  HMENU fileMenu_ = nullptr;
  HMENU toolsMenu_ = nullptr;
  HMENU helpMenu_ = nullptr;
  std::unique_ptr<FormWidgets> controls_;
  std::vector<std::function<void()>> menuActions_;  // command id 1000 + index
  std::vector<std::function<void(HMENU)>> menuHooks_;
  SettingsDialog* dialog_ = nullptr;
  HWND modal_ = nullptr;
  int outerWidth_ = 0;  // twips, the view's
  int outerHeight_ = 0;
  bool closing_ = false;
  bool quitOnDestroy_ = false;
  std::function<void()> closeAction_;
};

}  // namespace dd
