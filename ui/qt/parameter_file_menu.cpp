#include "ui/qt/parameter_file_menu.h"

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QVBoxLayout>
#include <chrono>
#include <memory>

#include "app/number_text.h"
#include "app/session.h"
#include "params/parameter_file_actions.h"
#include "ui/file_texts.h"

namespace dd {
namespace {

constexpr const char* kFileFilter = "参数文件 (*.txt);;所有文件 (*)";

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The file's problems in the window's words; `closing` says what was not done.
std::string Problems(const QString& path, const std::vector<FileProblem>& problems, const char* closing) {
  std::string text;
  for (const FileProblem& p : problems) {
    if (!text.empty()) text += "\r\n";
    text += "    " + WindowProblemText(path.toStdString(), p) + "；";
  }
  return text + "\r\n    " + closing + "；";
}

// A save dialog starts in the folder last used (else the documents folder, else home).
QString StartFolder() {
  const QString last = Q(LastFolder());
  if (!last.isEmpty() && QDir(last).exists()) return last;
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  return QDir(documents).exists() ? documents : QDir::homePath();
}

QString Remembered(const QString& path) {
  if (!path.isEmpty()) RememberFolderOf(path.toStdString());
  return path;
}

}  // namespace

std::unique_ptr<QDialog> NewComparisonDialog(QWidget* parent, const std::vector<ComparisonRow>& rows) {
  auto owned = std::make_unique<QDialog>(parent);
  QDialog& dialog = *owned;
  dialog.setWindowTitle(kCompareTitle);
  auto* layout = new QVBoxLayout(&dialog);
  int differing = 0;
  for (const ComparisonRow& r : rows) differing += r.differs ? 1 : 0;
  layout->addWidget(new QLabel(differing == 0 ? QString("驱动器中的参数与文件一致。")
                                              : QString("有 %1 项参数与文件不同（粗体）。").arg(differing)));
  auto* table = new QTableWidget(static_cast<int>(rows.size()), 3, &dialog);
  table->setHorizontalHeaderLabels({"参数", "驱动器", "文件"});
  table->verticalHeader()->hide();
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    const ComparisonRow& r = rows[static_cast<std::size_t>(i)];
    const QString cells[3] = {r.parameter, r.drive, r.file};
    for (int c = 0; c < 3; ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      QFont font = item->font();
      font.setBold(r.differs);
      item->setFont(font);
      table->setItem(i, c, item);
    }
  }
  // Every row in view and the columns across the whole width: sized for the content.
  table->resizeColumnsToContents();
  const int contentWidth = table->horizontalHeader()->length() + 2 * table->frameWidth();
  table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  int rowsHeight = table->horizontalHeader()->sizeHint().height() + 2 * table->frameWidth();
  for (int i = 0; i < table->rowCount(); ++i) rowsHeight += table->rowHeight(i);
  table->setMinimumSize(contentWidth + 40, rowsHeight);
  layout->addWidget(table);
  auto* buttons = new QDialogButtonBox(&dialog);
  QPushButton* restore = buttons->addButton("恢复文件中的参数…", QDialogButtonBox::AcceptRole);
  buttons->addButton("关闭", QDialogButtonBox::RejectRole);
  restore->setEnabled(differing > 0);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(buttons);
  return owned;
}

ParameterFileDialogs StandardParameterFileDialogs(QWidget* parent) {
  ParameterFileDialogs d;
  d.saveFile = [parent](const QString& title, const QString& proposedName) {
    return Remembered(
        QFileDialog::getSaveFileName(parent, title, QDir(StartFolder()).filePath(proposedName), kFileFilter));
  };
  d.openFile = [parent](const QString& title) {
    return Remembered(QFileDialog::getOpenFileName(parent, title, StartFolder(), kFileFilter));
  };
  d.confirmRestore = [parent](const QString& text, bool offerNumber, bool& withNumber) {
    QMessageBox box(QMessageBox::Question, kRestoreTitle, text, QMessageBox::NoButton, parent);
    QPushButton* go = box.addButton("写入并保存", QMessageBox::AcceptRole);
    box.addButton("取消", QMessageBox::RejectRole);
    if (offerNumber) {
      box.setCheckBox(new QCheckBox("同时写入驱动器号（总线地址；复制到另一轴时不要勾选）"));
    }
    box.exec();
    withNumber = box.checkBox() != nullptr && box.checkBox()->isChecked();
    return box.clickedButton() == go;
  };
  d.showComparison = [parent](const std::vector<ComparisonRow>& rows) {
    return NewComparisonDialog(parent, rows)->exec() == QDialog::Accepted;
  };
  return d;
}

ParameterFileMenu::ParameterFileMenu(Session& session, QMenu& fileMenu,
                                     ParameterFileDialogs dialogs)
    : QObject(&fileMenu), session_(session), dialogs_(std::move(dialogs)) {
  backup_ = fileMenu.addAction("备份参数(&B)…", this, &ParameterFileMenu::Backup);
  restore_ = fileMenu.addAction("恢复参数(&R)…", this, &ParameterFileMenu::Restore);
  compare_ = fileMenu.addAction("与文件比较(&C)…", this, &ParameterFileMenu::Compare);
  connect(&fileMenu, &QMenu::aboutToShow, this, &ParameterFileMenu::UpdateEnabled);
  UpdateEnabled();
}

void ParameterFileMenu::UpdateEnabled() {
  const bool available = ParameterFileActionsAvailable(session_);
  for (QAction* a : {backup_, restore_, compare_}) a->setEnabled(available);
}

void ParameterFileMenu::Backup() {
  if (!ParameterFileActionsAvailable(session_) || RefuseWhileAxisBusy(session_)) return;
  ParameterMask all;
  all.fill(true);
  all[IndexOf(ParameterWrite::SensorConfig)] = session_.state.SensorLevelSupported.load();
  ReadDriveInBackground(session_, all, [this](std::optional<DriveParameters> read,
                                              const std::string& failure) {
    if (!read) {
      session_.Message(MessageIcon::Error, kBackupTitle, "    " + failure);
      return;
    }
    const auto now = std::chrono::system_clock::now();
    const QString path = dialogs_.saveFile("备份参数（读取驱动器中的值，未保存的修改不在其中）",
                                           Q(BackupFileName(*read->facts.model, now)));
    if (path.isEmpty()) return;
    const std::string text =
        BackupText(*read, BackupHeader(session_.controls.ComboText(Control::PortList), now));
    const std::string error = WriteFileAtomically(path.toStdString(), text);
    if (!error.empty()) {
      session_.Message(MessageIcon::Error, kBackupTitle,
                       "    无法写入文件：" + path.toStdString() + "；\r\n    " + error);
      return;
    }
    session_.Message(MessageIcon::Information, kBackupTitle,
                     "    驱动器参数已备份到：" + path.toStdString() +
                         "；\r\n    未保存的修改不在备份中；");
  });
}

bool ParameterFileMenu::LoadChosen(const QString& title, QString& path, ParameterFile& file) {
  path = dialogs_.openFile(title);
  if (path.isEmpty()) return false;
  std::string text;
  std::vector<FileProblem> problems;
  if (const auto problem = ReadParameterText(path.toStdString(), text)) {
    problems.push_back(*problem);
  } else {
    problems = ParseParameterFile(text, file);
  }
  if (problems.empty()) return true;
  session_.Message(MessageIcon::Error, title.toStdString(),
                   Problems(path, problems, title == kCompareTitle ? "文件有误，未作比较" : "驱动器未写入任何参数"));
  return false;
}

void ParameterFileMenu::Compare() {
  if (!ParameterFileActionsAvailable(session_) || RefuseWhileAxisBusy(session_)) return;
  WithFileAndDrive(kCompareTitle, [this](const QString& path, const ParameterFile& file,
                                         const DriveParameters& read) {
    std::vector<ComparisonRow> rows;
    const FieldBounds& b = read.facts.bounds;
    const auto rpm = RpmPerSpeedUnit(b.speedCoefficient, b.pulsesPerRev);
    for (const ParameterInfo& p : ParameterTable()) {
      const auto& mine = file.values[IndexOf(p.write)];
      const auto& theirs = read.values[IndexOf(p.write)];
      if (!mine || !theirs) continue;
      QString caption = Q(std::string(p.caption));
      caption.chop(1);  // the caption's colon
      rows.push_back({caption, Q(PersonReading(p.write, *theirs, rpm, b.pulsesPerRev)),
                      Q(PersonReading(p.write, *mine, rpm, b.pulsesPerRev)), *mine != *theirs});
    }
    if (dialogs_.showComparison(rows)) ConfirmAndRestore(path, file, read);
  });
}

void ParameterFileMenu::Restore() {
  if (!ParameterFileActionsAvailable(session_) || RefuseWhileAxisBusy(session_)) return;
  WithFileAndDrive(kRestoreTitle, [this](const QString& path, const ParameterFile& file,
                                         const DriveParameters& read) { ConfirmAndRestore(path, file, read); });
}

void ParameterFileMenu::WithFileAndDrive(const char* title, FileAndDrive then) {
  QString path;
  auto file = std::make_shared<ParameterFile>();
  if (!LoadChosen(title, path, *file)) return;
  ReadDriveInBackground(
      session_, RestoredParameters(*file, true),
      [this, title, path, file, then](std::optional<DriveParameters> read, const std::string& failure) {
        if (!read) {
          session_.Message(MessageIcon::Error, title, "    " + failure);
          return;
        }
        then(path, *file, *read);
      });
}

void ParameterFileMenu::ConfirmAndRestore(const QString& path, const ParameterFile& file,
                                          const DriveParameters& drive) {
  const auto problems = CheckAgainstDrive(file, drive.facts, /*ignoreModel=*/false);
  if (!problems.empty()) {
    session_.Message(MessageIcon::Error, kRestoreTitle, Problems(path, problems, "驱动器未写入任何参数"));
    return;
  }
  std::string changes;
  bool numberDiffers = false;
  for (const Difference& d : Differences(drive.values, file, RestoredParameters(file, true))) {
    if (d.parameter == ParameterWrite::DriveNumber) {
      numberDiffers = true;
      continue;
    }
    changes += "\r\n    " + ChangeLine(d, drive.facts) + "；";
  }
  if (changes.empty() && !numberDiffers) {
    session_.Message(MessageIcon::Information, kRestoreTitle, "    驱动器中的参数与文件一致，无需恢复；");
    return;
  }
  const std::string text = "    将从 " + path.toStdString() + " 写入以下参数并保存到驱动器：" +
                           (changes.empty() ? "\r\n    （仅驱动器号不同）" : changes);
  bool withNumber = false;
  if (!dialogs_.confirmRestore(Q(text), numberDiffers, withNumber)) return;
  // The dialogs took time: the drive must still answer before any panel is disabled.
  Session* s = &session_;
  const DriveFacts facts = drive.facts;
  auto restored = std::make_shared<ParameterFile>(file);
  ReadDriveInBackground(session_, ParameterMask{}, [s, facts, restored, withNumber](std::optional<DriveParameters> read,
                                                                                      const std::string& failure) {
    if (!read) {
      s->Message(MessageIcon::Error, kRestoreTitle, "    驱动器无应答，未写入任何参数；\r\n    " + failure);
      return;
    }
    if (!ParameterFileActionsAvailable(*s) || RefuseWhileAxisBusy(*s)) return;
    const bool started = RestoreLikeSave(*s, *restored, withNumber, [s, facts](const RestoreOutcome& o) {
      s->Message(o.AllTook() ? MessageIcon::Information : MessageIcon::Error, kRestoreTitle,
                 RestoreOutcomeText(o, facts));
    });
    if (!started) {
      s->Message(MessageIcon::Error, kRestoreTitle, "    恢复未完成：通信已关闭或正在保存参数；");
    }
  });
}

}  // namespace dd
