// The homing settings dialog ("设定"): the homing mode and the revolutions to
// move back, kept for the run of the program; summary in the status line.
#pragma once

#include <cstdint>
#include <string>

#include "app/session.h"

namespace dd {

inline constexpr const char* kSettingsTitleCannotSave = "不能保存";
inline constexpr const char* kMsgOffsetEmpty = "归零后偏移值不能为空，请输入！";
inline constexpr const char* kMsgOffsetMalformed = "偏移值输入格式不正确，请修改；";

// Status-line summary of a mode (0, -1, 1) with the offset text as typed.
std::string HomingSummary(int16_t mode, const std::string& offsetText);

// Installs the settings button (opens the dialog unless moving or homing), the dialog's
// load, the key filter of the offset field and the dialog's save button ("保存").
void InstallHomingSettingsHandlers(Session& session);

}  // namespace dd
