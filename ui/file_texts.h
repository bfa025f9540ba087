// What the windows show around files, alike in every front-end: the file names a save
// dialog proposes, the folder it starts in, and a file's problems in the window's words.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "params/parameter_file.h"

namespace dd {

// "驱动器参数_10500000_2026-12-07.txt": the model and the local date.
std::string BackupFileName(double model, std::chrono::system_clock::time_point when);
// "<stem>_20261207_120102.<extension>", local time: "通信日志", "实时曲线".
std::string TimedFileName(std::string_view stem, std::string_view extension,
                          std::chrono::system_clock::time_point when);

// The folder of the last file a dialog chose in this run; empty before the first.
std::string LastFolder();
// Remembers the folder of `path` for the next dialog.
void RememberFolderOf(const std::string& path);

// DescribeProblem in Chinese, the parameter named by its caption in the window with the
// file's name beside it: "运行速度（RunSpeed）".
std::string WindowProblemText(std::string_view fileName, FileProblem problem);

}  // namespace dd
