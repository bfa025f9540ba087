// "备份参数…", "恢复参数…" and "与文件比较…" of the window's "文件" menu: Qt's dialogs
// around the actions of ui/parameter_file_flow.h.
#pragma once

#include <QObject>
#include <memory>
#include <vector>

#include "ui/parameter_file_flow.h"

class QAction;
class QDialog;
class QMenu;
class QWidget;

namespace dd {

ParameterFileDialogs StandardParameterFileDialogs(QWidget* parent);
// The comparison table as a dialog, sized to show every row; accepted means "restore".
std::unique_ptr<QDialog> NewComparisonDialog(QWidget* parent, const std::vector<ComparisonRow>& rows);

class ParameterFileMenu : public QObject {
 public:
  // Adds the three actions to `fileMenu`; they are enabled only while connected and the
  // connection sequence has finished.
  ParameterFileMenu(Session& session, QMenu& fileMenu, ParameterFileDialogs dialogs);

  QAction* BackupAction() const { return backup_; }
  QAction* RestoreAction() const { return restore_; }
  QAction* CompareAction() const { return compare_; }

 private:
  void UpdateEnabled();

  Session& session_;
  ParameterFileFlow flow_;
  QAction* backup_ = nullptr;
  QAction* restore_ = nullptr;
  QAction* compare_ = nullptr;
};

}  // namespace dd
