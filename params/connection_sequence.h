// Reading the drive's whole configuration after communication opened and after every
// save: fills the parameter grid, derives the connection-time values, enables the
// panels and starts the StatusWorker. Runs on the UI thread without BusLock.
#pragma once

#include "app/session.h"

namespace dd {

// Runs the sequence once, to its end or its first fatal failure. Stops quietly (no
// message, no worker) when communication is closed while it waits.
void RunConnectionSequence(Session& session);

// Titles of its two kinds of message.
inline constexpr const char* kFatalTitle = "获取错误信息";
inline constexpr const char* kNoticeTitle = "提示信息";

// Drive variant from the drive-model code: 0 gives 3, otherwise the second decimal digit
// ("0" 0, "1" 1, "3" 3); anything else keeps `current`.
int32_t DriveVariantFromModel(double model, int32_t current);

}  // namespace dd
