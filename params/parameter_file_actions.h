// The window's parameter-file actions below the window: reading the drive for a backup or
// a comparison without stopping the polling, and a restore that runs like the save. The
// window supplies the file and confirmation dialogs; these run on the UI thread.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "app/session.h"
#include "params/parameter_restore.h"

namespace dd {

// Connected, and the connection sequence has finished (the panels are enabled).
bool ParameterFileActionsAvailable(const Session& session);

// While a jog, move, homing run or stop is under way: shows the close refusal's message
// and returns true. Backup, compare and restore are refused so.
bool RefuseWhileAxisBusy(Session& session);

// Reads the facts and the masked parameters on a worker that takes BusLock for each
// transaction; `done` runs on the UI thread with the values, or with nullopt and a message.
using DriveReadDone =
    std::function<void(std::optional<DriveParameters> read, const std::string& failure)>;
void ReadDriveInBackground(Session& session, const ParameterMask& which, DriveReadDone done);

// Writes `file` the way the save writes the grid, stores it, reads every written value
// back, and runs the connection sequence again; then `finished` gets the outcome. False
// when it could not start (a save runs, or the port went away).
bool RestoreLikeSave(Session& session, const ParameterFile& file, bool withNumber,
                     std::function<void(const RestoreOutcome&)> finished);

// The closing message of a restore, and one line per parameter of a change list.
std::string RestoreOutcomeText(const RestoreOutcome& outcome, const DriveFacts& facts);
std::string ChangeLine(const Difference& d, const DriveFacts& facts);

inline constexpr const char* kBackupTitle = "备份参数";
inline constexpr const char* kRestoreTitle = "恢复参数";
inline constexpr const char* kCompareTitle = "与文件比较";

}  // namespace dd
