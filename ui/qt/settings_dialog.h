// The homing settings dialog, built from the layout table. Its behaviour
// (load, key filter, save) is installed on the router by the motion logic.
#pragma once

#include <QDialog>

#include "ui/qt/form_widgets.h"

namespace dd {

struct Session;

class SettingsDialog : public QDialog {
  Q_OBJECT

 public:
  SettingsDialog(Session& session, QWidget* parent);

  FormWidgets& Controls() { return *controls_; }
  // Ends the dialog (the form's close handler runs once).
  void Finish();
  bool Finished() const { return finished_; }

 protected:
  void done(int result) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  Session& session_;
  FormWidgets* controls_ = nullptr;  // child QObject of the dialog
  bool finished_ = false;
};

}  // namespace dd
