// "备份参数…", "恢复参数…" and "与文件比较…": what happens between the dialogs, alike in
// both windows. Each front-end brings its menu items and its modal dialogs.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace dd {

struct Session;
struct ParameterFile;
struct DriveParameters;

// One row of the comparison table, in a person's units.
struct ComparisonRow {
  std::string parameter;
  std::string drive;
  std::string file;
  bool differs = false;
};

// The modal dialogs; tests replace them. Paths are UTF-8; the folder of a chosen file is
// remembered (LastFolder) for the next dialog.
struct ParameterFileDialogs {
  // A path, or empty when cancelled; the dialog proposes `proposedName` in the folder
  // last used.
  std::function<std::string(const std::string& title, const std::string& proposedName)> saveFile;
  std::function<std::string(const std::string& title)> openFile;
  // True to go on; `offerNumber` shows the drive-number box, whose choice is returned.
  std::function<bool(const std::string& text, bool offerNumber, bool& withNumber)> confirmRestore;
  // True when the operator asks for the restore from the table.
  std::function<bool(const std::vector<ComparisonRow>& rows)> showComparison;
};

// Lives as long as the menu that calls it: its background reads call back into it.
class ParameterFileFlow {
 public:
  ParameterFileFlow(Session& session, ParameterFileDialogs dialogs);

  // Each refuses while the axis moves or a homing run is active, and does nothing while
  // the actions are unavailable (see ParameterFileActionsAvailable).
  void Backup();
  void Compare();
  void Restore();

 private:
  // Reads and parses a file chosen by the operator; false (after a message) on a problem.
  bool LoadChosen(const char* title, std::string& path, ParameterFile& file);
  using FileAndDrive =
      std::function<void(const std::string& path, const ParameterFile& file, const DriveParameters& read)>;
  // Loads a file the operator picks, then reads the drive in the background; `then` runs
  // on the UI thread with both, or the failure is shown under `title`.
  void WithFileAndDrive(const char* title, FileAndDrive then);
  void ConfirmAndRestore(const std::string& path, const ParameterFile& file, const DriveParameters& drive);

  Session& session_;
  ParameterFileDialogs dialogs_;
};

}  // namespace dd
