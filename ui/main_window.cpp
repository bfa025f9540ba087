#include "ui/main_window.h"

#include <QCloseEvent>

#include "app/session.h"
#include "ui/settings_dialog.h"
#include "ui/window_layout.h"

namespace dd {

MainWindow::MainWindow(Session& session, QWidget* parent)
    : QWidget(parent), session_(session),
      mirror_(std::make_unique<ControlMirror>(session.controls)) {
  const FormDef& form = MainFormDef();
  setObjectName(QString::fromStdString(form.name));
  setWindowTitle(QString::fromStdString(form.title));
  controls_ = new FormWidgets(session_, form, this);
  mirror_->Attach(controls_);
  SetOuterSize(form.outerWidth, form.outerHeight);
}

MainWindow::~MainWindow() {
  mirror_->Detach(controls_);
}

void MainWindow::Load() {
  session_.events.Dispatch("Form1", UiEvent::Load);
  mirror_->Sync();
}

void MainWindow::SetOuterSize(int widthTwips, int heightTwips) {
  // The frames of window systems differ (and are unknown before the first show); the
  // designed frame is taken off instead, so each view always gets the same client
  // area and switching back and forth restores it exactly.
  const FormDef& form = MainFormDef();
  const int frameWidth = form.outerWidth - form.client.width;
  const int frameHeight = form.outerHeight - form.client.height;
  setFixedSize(controls_->PixelsX(widthTwips - frameWidth),
               controls_->PixelsY(heightTwips - frameHeight));
}

void MainWindow::RunSettingsDialog() {
  if (dialog_ != nullptr) return;
  // The dialog keeps nothing between openings.
  ResetControls(session_.controls, SettingsFormDef());
  SettingsDialog dialog(session_, this);
  dialog_ = &dialog;
  mirror_->Attach(&dialog.Controls());
  mirror_->Sync();
  dialog.Controls().ApplyAll();
  session_.events.Dispatch("Form2", UiEvent::Load);
  mirror_->Sync();
  if (!dialog.Finished()) dialog.exec();
  mirror_->Detach(&dialog.Controls());
  dialog_ = nullptr;
}

void MainWindow::CloseSettingsDialog() {
  if (dialog_ != nullptr) dialog_->Finish();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // A second request while the handler still waits for the workers is dropped; the
  // first one closes the window when the handler returns.
  if (closing_) {
    event->ignore();
    return;
  }
  closing_ = true;
  session_.events.Dispatch("Form1", UiEvent::Close);
  mirror_->Sync();
  closing_ = false;
  event->accept();
}

}  // namespace dd
