#include "ui/qt/main_window.h"

#include <QCloseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QMessageBox>

#include "app/session.h"
#include "app/version.h"
#include "ui/qt/curves_window.h"
#include "ui/qt/settings_dialog.h"
#include "ui/window_layout.h"

namespace dd {

MainWindow::MainWindow(Session& session, QWidget* parent)
    : QWidget(parent), session_(session),
      mirror_(std::make_unique<ControlMirror>(session.controls)) {
  const FormDef& form = MainFormDef();
  setObjectName(QString::fromStdString(std::string(ControlName(form.id))));
  setWindowTitle(QString::fromStdString(form.title));
  menuBar_ = new QMenuBar(this);
  // Alt+letter opens a menu, F10 the first one, as on every desktop.
  fileMenu_ = menuBar_->addMenu(QStringLiteral("文件(&F)"));
  toolsMenu_ = menuBar_->addMenu(QStringLiteral("工具(&T)"));
  helpMenu_ = menuBar_->addMenu(QStringLiteral("帮助(&H)"));
  toolsMenu_->addAction(QStringLiteral("实时曲线(&C)"), this, &MainWindow::ShowCurves)
      ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
  helpMenu_->addAction(QStringLiteral("关于 DriveDesk(&A)"), this, &MainWindow::ShowAbout)
      ->setShortcut(QKeySequence(Qt::Key_F1));
  auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
  connect(f10, &QShortcut::activated, this, [this] {
    menuBar_->setActiveAction(fileMenu_->menuAction());
  });
  formArea_ = new QWidget(this);
  controls_ = new FormWidgets(session_, form, formArea_);
  // The form's font is set on its area; the menu bar follows the window's.
  menuBar_->setFont(font());
  mirror_->Attach(controls_);
  SetOuterSize(form.outerWidth, form.outerHeight);
}

MainWindow::~MainWindow() {
  mirror_->Detach(controls_);
}

void MainWindow::Load() {
  session_.events.Dispatch(Control::MainWindow, UiEvent::Load);
  mirror_->Sync();
}

void MainWindow::SetOuterSize(int widthTwips, int heightTwips) {
  // The frames of window systems differ (and are unknown before the first show); the
  // designed frame is taken off instead, so each view always gets the same client
  // area and switching back and forth restores it exactly.
  const FormDef& form = MainFormDef();
  const int frameWidth = form.outerWidth - form.client.width;
  const int frameHeight = form.outerHeight - form.client.height;
  const QSize formSize(controls_->PixelsX(widthTwips - frameWidth),
                       controls_->PixelsY(heightTwips - frameHeight));
  const int menuHeight = menuBar_->sizeHint().height();
  menuBar_->setGeometry(0, 0, formSize.width(), menuHeight);
  formArea_->setGeometry(0, menuHeight, formSize.width(), formSize.height());
  setFixedSize(formSize.width(), formSize.height() + menuHeight);
  // A window of fixed size offers no maximise button.
  setWindowFlag(Qt::WindowMaximizeButtonHint, false);
}

void MainWindow::ShowAbout() {
  QMessageBox::about(this, QStringLiteral("关于 DriveDesk"),
                     QStringLiteral("DriveDesk %1\n构建：%2（%3）\n\n闭环步进驱动器调试工具")
                         .arg(QString::fromUtf8(kVersion), QString::fromUtf8(kBuildCommit),
                              QString::fromUtf8(kBuildDate)));
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
  session_.events.Dispatch(Control::SettingsDialog, UiEvent::Load);
  mirror_->Sync();
  if (!dialog.Finished()) dialog.exec();
  mirror_->Detach(&dialog.Controls());
  dialog_ = nullptr;
}

void MainWindow::CloseSettingsDialog() {
  if (dialog_ != nullptr) dialog_->Finish();
}

void MainWindow::ShowCurves() {
  // The history is made with the handlers, before any worker could record into it.
  if (!session_.samples) return;
  if (curves_ == nullptr) curves_ = new CurvesWindow(session_.samples, this);
  curves_->show();
  curves_->raise();
  curves_->activateWindow();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // A second request while the handler still waits for the workers is dropped; the
  // first one closes the window when the handler returns.
  if (closing_) {
    event->ignore();
    return;
  }
  closing_ = true;
  session_.events.Dispatch(Control::MainWindow, UiEvent::Close);
  mirror_->Sync();
  closing_ = false;
  // The plot goes with the program's window.
  if (curves_ != nullptr) curves_->close();
  event->accept();
}

}  // namespace dd
