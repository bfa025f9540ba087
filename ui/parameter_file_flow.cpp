#include "ui/parameter_file_flow.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <optional>

#include "app/number_text.h"
#include "app/session.h"
#include "params/parameter_file_actions.h"
#include "ui/file_texts.h"

namespace dd {
namespace {

// The file's problems in the window's words; `closing` says what was not done.
std::string Problems(const std::string& path, const std::vector<FileProblem>& problems, const char* closing) {
  std::string text;
  for (const FileProblem& p : problems) {
    if (!text.empty()) text += "\r\n";
    text += "    " + WindowProblemText(path, p) + "；";
  }
  return text + "\r\n    " + closing + "；";
}

std::string Remembered(std::string path) {
  if (!path.empty()) RememberFolderOf(path);
  return path;
}

// A caption without its colon: "运行速度：" is "运行速度" in a table.
std::string WithoutColon(std::string caption) {
  constexpr std::string_view colon = "：";
  if (caption.ends_with(colon)) caption.resize(caption.size() - colon.size());
  return caption;
}

}  // namespace

ParameterFileFlow::ParameterFileFlow(Session& session, ParameterFileDialogs dialogs)
    : session_(session), dialogs_(std::move(dialogs)) {}

void ParameterFileFlow::Backup() {
  if (!ParameterFileActionsAvailable(session_) || RefuseWhileAxisBusy(session_)) return;
  ParameterMask all;
  all.fill(true);
  all[IndexOf(ParameterWrite::SensorConfig)] = session_.state.SensorLevelSupported.load();
  ReadDriveInBackground(session_, all, [this](std::optional<DriveParameters> read, const std::string& failure) {
    if (!read) {
      session_.Message(MessageIcon::Error, kBackupTitle, "    " + failure);
      return;
    }
    const auto now = std::chrono::system_clock::now();
    const std::string path = Remembered(dialogs_.saveFile("备份参数（读取驱动器中的值，未保存的修改不在其中）",
                                                          BackupFileName(*read->facts.model, now)));
    if (path.empty()) return;
    const std::string text =
        BackupText(*read, BackupHeader(session_.controls.ComboText(Control::PortList), now));
    const std::string error = WriteFileAtomically(path, text);
    if (!error.empty()) {
      session_.Message(MessageIcon::Error, kBackupTitle, "    无法写入文件：" + path + "；\r\n    " + error);
      return;
    }
    session_.Message(MessageIcon::Information, kBackupTitle,
                     "    驱动器参数已备份到：" + path + "；\r\n    未保存的修改不在备份中；");
  });
}

bool ParameterFileFlow::LoadChosen(const char* title, std::string& path, ParameterFile& file) {
  path = Remembered(dialogs_.openFile(title));
  if (path.empty()) return false;
  std::string text;
  std::vector<FileProblem> problems;
  if (const auto problem = ReadParameterText(path, text)) {
    problems.push_back(*problem);
  } else {
    problems = ParseParameterFile(text, file);
  }
  if (problems.empty()) return true;
  const bool comparing = std::strcmp(title, kCompareTitle) == 0;
  session_.Message(MessageIcon::Error, title,
                   Problems(path, problems, comparing ? "文件有误，未作比较" : "驱动器未写入任何参数"));
  return false;
}

void ParameterFileFlow::Compare() {
  if (!ParameterFileActionsAvailable(session_) || RefuseWhileAxisBusy(session_)) return;
  WithFileAndDrive(kCompareTitle, [this](const std::string& path, const ParameterFile& file,
                                         const DriveParameters& read) {
    std::vector<ComparisonRow> rows;
    const FieldBounds& b = read.facts.bounds;
    const auto rpm = RpmPerSpeedUnit(b.speedCoefficient, b.pulsesPerRev);
    for (const ParameterInfo& p : ParameterTable()) {
      const auto& mine = file.values[IndexOf(p.write)];
      const auto& theirs = read.values[IndexOf(p.write)];
      if (!mine || !theirs) continue;
      rows.push_back({WithoutColon(std::string(p.caption)), PersonReading(p.write, *theirs, rpm, b.pulsesPerRev),
                      PersonReading(p.write, *mine, rpm, b.pulsesPerRev), *mine != *theirs});
    }
    if (dialogs_.showComparison(rows)) ConfirmAndRestore(path, file, read);
  });
}

void ParameterFileFlow::Restore() {
  if (!ParameterFileActionsAvailable(session_) || RefuseWhileAxisBusy(session_)) return;
  WithFileAndDrive(kRestoreTitle, [this](const std::string& path, const ParameterFile& file,
                                         const DriveParameters& read) { ConfirmAndRestore(path, file, read); });
}

void ParameterFileFlow::WithFileAndDrive(const char* title, FileAndDrive then) {
  std::string path;
  auto file = std::make_shared<ParameterFile>();
  if (!LoadChosen(title, path, *file)) return;
  ReadDriveInBackground(session_, RestoredParameters(*file, true),
                        [this, title, path, file, then](std::optional<DriveParameters> read, const std::string& failure) {
                          if (!read) {
                            session_.Message(MessageIcon::Error, title, "    " + failure);
                            return;
                          }
                          then(path, *file, *read);
                        });
}

void ParameterFileFlow::ConfirmAndRestore(const std::string& path, const ParameterFile& file,
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
  const std::string text = "    将从 " + path + " 写入以下参数并保存到驱动器：" +
                           (changes.empty() ? "\r\n    （仅驱动器号不同）" : changes);
  bool withNumber = false;
  if (!dialogs_.confirmRestore(text, numberDiffers, withNumber)) return;
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
