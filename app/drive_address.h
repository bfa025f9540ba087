// The drive's bus address: every frame the program sends goes to it. 1 unless the
// operator picks another ("工具" → "驱动器地址…", or a drive found by the search), which
// is remembered for the next start in a small settings file, and shown in the window's
// title while it is not 1. It changes only while communication is closed, and by itself
// when a save gives the drive a new number.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/session.h"

namespace dd {

// The settings file: $XDG_CONFIG_HOME/drivedesk/settings.conf (else
// ~/.config/drivedesk/...; %APPDATA%\DriveDesk\settings.conf on Windows). "" when
// there is no home to keep it in.
std::string UserSettingsPath();
// The address kept in `path`; nullopt when there is none or it is not 1 to 247.
std::optional<int> RememberedAddress(const std::string& path);
// Keeps `address` in `path` (atomically); false when it cannot be written.
bool RememberAddress(const std::string& path, int address);

// The main window's title for an address: "DriveDesk", or "DriveDesk - 驱动器地址 38".
std::string WindowTitleFor(int address);

// At load: the remembered address (1 without one) and the title.
void LoadDriveAddress(Session& session);
// Takes `address` for every frame from now on, shows it and remembers it.
void UseDriveAddress(Session& session, int address);
// The "驱动器地址…" dialog's OK: "" when taken, else the message to show (an address
// outside 1 to 247, or communication open).
std::string ChangeDriveAddress(Session& session, std::string_view text);
// ChangeDriveAddress with its message shown; what both windows' dialogs call.
void EnterDriveAddress(Session& session, std::string_view text);
// "驱动器地址…" and "搜索驱动器…" work only while communication is closed.
bool DriveAddressChangeable(const Session& session);

struct FoundDrive;
// Picks a drive the search found: its port and baud rate in the lists and its address,
// ready for "开启通信". False (nothing changed) while communication is open or when the
// port is not in the port list.
bool UseFoundDrive(Session& session, const FoundDrive& drive);

inline constexpr const char* kAddressTitle = "驱动器地址";
inline constexpr const char* kSearchTitle = "搜索驱动器";
// The items of "工具(T)", alike in both windows ('&' marks the mnemonic).
inline constexpr const char* kAddressMenuText = "驱动器地址(&A)…";
inline constexpr const char* kSearchMenuText = "搜索驱动器(&S)…";
inline constexpr const char* kAddressPrompt = "驱动器地址（1 到 247，出厂为 1）：";

}  // namespace dd
