// The main window, built from the layout table. It mirrors the control model,
// forwards every event by control to the router, and hosts the settings dialog.
// A menu bar sits above the form; the form keeps its designed geometry below it.
#pragma once

#include <QWidget>

class QMenu;
class QMenuBar;
#include <memory>

#include "ui/qt/control_mirror.h"
#include "ui/qt/form_widgets.h"

namespace dd {

struct Session;
class CurvesWindow;
class SettingsDialog;

class MainWindow : public QWidget {
  Q_OBJECT

 public:
  // The model must already hold the controls (DefineControls).
  explicit MainWindow(Session& session, QWidget* parent = nullptr);
  ~MainWindow() override;

  FormWidgets& Controls() { return *controls_; }
  ControlMirror& Mirror() { return *mirror_; }
  QWidget* Widget(Control id) const { return controls_->Widget(id); }
  // The widget that holds the form, below the menu bar.
  QWidget* FormArea() const { return formArea_; }

  // The menus of the menu bar: "文件", "工具", "帮助". Features add their actions.
  QMenuBar* MenuBar() const { return menuBar_; }
  QMenu* FileMenu() const { return fileMenu_; }
  QMenu* ToolsMenu() const { return toolsMenu_; }
  QMenu* HelpMenu() const { return helpMenu_; }

  // Runs the load handler of the main window and shows its result; call before the first show.
  void Load();
  // Applies pending model changes now (UI thread).
  void SyncNow() { mirror_->Sync(); }

  // Sets the outer window size in twips: the form's area becomes that size less the
  // designed window frame; the window is taller by the menu bar.
  void SetOuterSize(int widthTwips, int heightTwips);

  // Shows the settings dialog modally; returns when it closes. Nothing happens while it is open.
  void RunSettingsDialog();
  void CloseSettingsDialog();
  void ShowAbout();
  SettingsDialog* OpenDialog() const { return dialog_; }

  // Opens the "实时曲线" window, or brings it to the front.
  void ShowCurves();
  CurvesWindow* Curves() const { return curves_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  Session& session_;
  std::unique_ptr<ControlMirror> mirror_;
  QMenuBar* menuBar_ = nullptr;
  QMenu* fileMenu_ = nullptr;
  QMenu* toolsMenu_ = nullptr;
  QMenu* helpMenu_ = nullptr;
  QWidget* formArea_ = nullptr;
  FormWidgets* controls_ = nullptr;  // child QObject of this window
  SettingsDialog* dialog_ = nullptr;
  CurvesWindow* curves_ = nullptr;  // child window, made when first asked for
  bool closing_ = false;
};

}  // namespace dd
