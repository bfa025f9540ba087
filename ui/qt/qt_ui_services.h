// The window services for the Qt program: modal message boxes, event processing,
// delayed calls on the UI thread, the settings dialog and ending the program.
// Message presentation and ending are replaceable, so tests record instead.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <string>

#include "app/ui_services.h"
#include "ui/qt/ui_thread_queue.h"

namespace dd {

class MainWindow;

class QtUiServices : public UiServices {
 public:
  using Presenter =
      std::function<void(MessageIcon icon, const std::string& title, const std::string& text)>;
  using Quitter = std::function<void(int exitCode)>;

  // Create on the UI thread, after the QApplication.
  QtUiServices();
  ~QtUiServices() override;

  void SetPresenter(Presenter presenter) { presenter_ = std::move(presenter); }
  void SetQuitter(Quitter quitter) { quitter_ = std::move(quitter); }
  void SetMainWindow(MainWindow* window) { window_ = window; }

  void ShowMessage(MessageIcon icon, const std::string& title, const std::string& text) override;
  void ProcessEvents() override;
  void PostDelayed(int ms, std::function<void()> fn) override;
  void RunDialog(Control dialog) override;
  void CloseDialog(Control dialog) override;
  void Quit(int exitCode) override;
  bool OnUiThread() const override;

  // A message's text for display: CR LF (and lone CR or LF) become line breaks.
  static QString DisplayText(const std::string& text);
  // The modal message box of the program; `parent` may be nullptr (no owner).
  static void ShowMessageBox(QWidget* parent, MessageIcon icon, const std::string& title,
                             const std::string& text);

 private:
  UiThreadQueue delayed_;  // lives on the UI thread; owns the delayed-call timers
  Presenter presenter_;
  Quitter quitter_;
  MainWindow* window_ = nullptr;
};

}  // namespace dd
