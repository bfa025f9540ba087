// "备份参数…", "恢复参数…" and "与文件比较…" of the window's "文件" menu: the dialogs
// around the parameter-file actions of params/parameter_file_actions.h.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QDialog;
class QMenu;
class QWidget;

namespace dd {

struct Session;
struct ParameterFile;
struct DriveParameters;

// One row of the comparison table, in a person's units.
struct ComparisonRow {
  QString parameter;
  QString drive;
  QString file;
  bool differs = false;
};

// The modal dialogs; tests replace them.
struct ParameterFileDialogs {
  // A path, or empty when cancelled; the dialog proposes `proposedName` in the folder
  // last used.
  std::function<QString(const QString& title, const QString& proposedName)> saveFile;
  std::function<QString(const QString& title)> openFile;
  // True to go on; `offerNumber` shows the drive-number box, whose choice is returned.
  std::function<bool(const QString& text, bool offerNumber, bool& withNumber)> confirmRestore;
  // True when the operator asks for the restore from the table.
  std::function<bool(const std::vector<ComparisonRow>& rows)> showComparison;
};
ParameterFileDialogs StandardParameterFileDialogs(QWidget* parent);
// The comparison table as a dialog, sized to show every row; accepted means "restore".
std::unique_ptr<QDialog> NewComparisonDialog(QWidget* parent, const std::vector<ComparisonRow>& rows);

class ParameterFileMenu : public QObject {
 public:
  // Adds the three actions to `fileMenu`; they are enabled only while connected and the
  // connection sequence has finished.
  ParameterFileMenu(Session& session, QMenu& fileMenu, ParameterFileDialogs dialogs);

  void Backup();
  void Compare();
  void Restore();

  QAction* BackupAction() const { return backup_; }
  QAction* RestoreAction() const { return restore_; }
  QAction* CompareAction() const { return compare_; }

 private:
  void UpdateEnabled();
  // Reads and parses a file chosen by the operator; false (after a message) on a problem.
  bool LoadChosen(const QString& title, QString& path, ParameterFile& file);
  // Loads a file the operator picks, then reads the drive in the background; `then` runs
  // on the UI thread with both, or the failure is shown under `title`.
  using FileAndDrive =
      std::function<void(const QString& path, const ParameterFile& file, const DriveParameters& read)>;
  void WithFileAndDrive(const char* title, FileAndDrive then);
  void ConfirmAndRestore(const QString& path, const ParameterFile& file,
                         const DriveParameters& drive);

  Session& session_;
  ParameterFileDialogs dialogs_;
  QAction* backup_ = nullptr;
  QAction* restore_ = nullptr;
  QAction* compare_ = nullptr;
};

}  // namespace dd
