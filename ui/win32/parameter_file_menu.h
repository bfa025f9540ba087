// "备份参数…", "恢复参数…" and "与文件比较…" of the window's "文件(F)" menu: the Windows
// file dialogs, the confirmation and the comparison table around the parameter-file
// actions of params/parameter_file_actions.h.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace dd {

struct Session;
struct ParameterFile;
struct DriveParameters;
class MainWindow;

// One row of the comparison table, in a person's units.
struct ComparisonRow {
  std::string parameter;
  std::string drive;
  std::string file;
  bool differs = false;
};

// The modal dialogs; tests replace them. Paths are UTF-8.
struct ParameterFileDialogs {
  // A path, or empty when cancelled.
  std::function<std::string(const std::string& title, const std::string& proposedPath)> saveFile;
  std::function<std::string(const std::string& title)> openFile;
  // True to go on; `offerNumber` shows the drive-number box, whose choice is returned.
  std::function<bool(const std::string& text, bool offerNumber, bool& withNumber)> confirmRestore;
  // True when the operator asks for the restore from the table.
  std::function<bool(const std::vector<ComparisonRow>& rows)> showComparison;
};
ParameterFileDialogs StandardParameterFileDialogs(HWND owner);

class ParameterFileMenu {
 public:
  ParameterFileMenu(Session& session, ParameterFileDialogs dialogs);

  void Backup();
  void Compare();
  void Restore();

 private:
  // Reads and parses a file chosen by the operator; false (after a message) on a problem.
  bool LoadChosen(const std::string& title, std::string& path, ParameterFile& file);
  using FileAndDrive =
      std::function<void(const std::string& path, const ParameterFile& file, const DriveParameters& read)>;
  // Loads a file the operator picks, then reads the drive in the background; `then` runs
  // on the UI thread with both, or the failure is shown under `title`.
  void WithFileAndDrive(const char* title, FileAndDrive then);
  void ConfirmAndRestore(const std::string& path, const ParameterFile& file, const DriveParameters& drive);

  Session& session_;
  ParameterFileDialogs dialogs_;
};

// Adds the three items to the window's file menu; they are enabled only while
// connected and the connection sequence has finished. The menu lives as long as the window.
void InstallParameterFileMenu(Session& session, MainWindow& window, ParameterFileDialogs dialogs);

}  // namespace dd
