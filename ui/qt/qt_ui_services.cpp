#include "ui/qt/qt_ui_services.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <cstdio>
#include <cstdlib>

#include "app/exit_steps.h"
#include "ui/qt/main_window.h"

namespace dd {

QtUiServices::QtUiServices() {
  presenter_ = [this](MessageIcon icon, const std::string& title, const std::string& text) {
    QWidget* owner = window_ != nullptr && window_->isVisible() ? window_ : nullptr;
    ShowMessageBox(owner, icon, title, text);
  };
  // At once: no close handler, no waiting for workers; the system closes the port.
  quitter_ = [](int exitCode) { EndProcessNow(exitCode); };
}

QtUiServices::~QtUiServices() = default;

QString QtUiServices::DisplayText(const std::string& text) {
  QString shown = QString::fromStdString(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  shown.replace(QChar('\r'), QChar('\n'));
  return shown;
}

void QtUiServices::ShowMessageBox(QWidget* parent, MessageIcon icon, const std::string& title,
                                  const std::string& text) {
  QMessageBox::Icon qtIcon = QMessageBox::NoIcon;
  if (icon == MessageIcon::Error) qtIcon = QMessageBox::Critical;
  if (icon == MessageIcon::Information) qtIcon = QMessageBox::Information;
  QMessageBox box(qtIcon, QString::fromStdString(title), DisplayText(text), QMessageBox::Ok,
                  parent);
  box.exec();
}

void QtUiServices::ShowMessage(MessageIcon icon, const std::string& title,
                               const std::string& text) {
  presenter_(icon, title, text);
}

void QtUiServices::ProcessEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void QtUiServices::PostDelayed(int ms, std::function<void()> fn) {
  delayed_.Post(ms, std::move(fn));
}

void QtUiServices::RunDialog(Control dialog) {
  if (dialog == Control::SettingsDialog && window_ != nullptr) window_->RunSettingsDialog();
}

void QtUiServices::CloseDialog(Control dialog) {
  if (dialog == Control::SettingsDialog && window_ != nullptr) window_->CloseSettingsDialog();
}

void QtUiServices::Quit(int exitCode) { quitter_(exitCode); }

bool QtUiServices::OnUiThread() const {
  return QCoreApplication::instance() != nullptr &&
         QThread::currentThread() == QCoreApplication::instance()->thread();
}

}  // namespace dd
