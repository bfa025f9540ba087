#include "ui/qt/settings_dialog.h"

#include <QKeyEvent>

#include "app/session.h"
#include "ui/window_layout.h"

namespace dd {

SettingsDialog::SettingsDialog(Session& session, QWidget* parent)
    : QDialog(parent), session_(session) {
  const FormDef& form = SettingsFormDef();
  setObjectName(QString::fromStdString(std::string(ControlName(form.id))));
  setWindowTitle(QString::fromStdString(form.title));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  controls_ = new FormWidgets(session_, form, this);
  setFixedSize(controls_->PixelsX(form.client.width), controls_->PixelsY(form.client.height));
}

void SettingsDialog::Finish() { done(QDialog::Accepted); }

void SettingsDialog::done(int result) {
  if (!finished_) {
    finished_ = true;
    session_.events.Dispatch(Control::SettingsDialog, UiEvent::Close);
  }
  QDialog::done(result);
}

void SettingsDialog::keyPressEvent(QKeyEvent* event) {
  // The dialog has no cancel button: Escape does not close it.
  if (event->key() == Qt::Key_Escape) {
    event->ignore();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace dd
