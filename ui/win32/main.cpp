// drivedesk.exe: one window to set up, test and watch a closed-loop stepper drive.
//   drivedesk [--log FILE] [--help] | --version
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/version.h"
#include "ui/win32/program_main.h"
#include "ui/win32/wide_text.h"

namespace {

constexpr const char* kUsage =
    "用法：drivedesk [--log 文件] [--help] | --version\r\n"
    "  --log 文件   把总线上的每一帧追加写入该文本文件（每帧一行：时间、TX/RX、十六进制字节；\r\n"
    "               失败的通信另加一行“--”和结果名称）\r\n"
    "  --help       显示本说明\r\n"
    "  --version    显示版本\r\n";

// A window program has no console: text goes to where standard output was redirected,
// else to the console it was started from.
void Print(FILE* stream, const std::string& text) {
  const DWORD which = stream == stdout ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE;
  HANDLE out = ::GetStdHandle(which);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) {
    if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return;
    out = ::CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    const std::wstring wide = dd::Wide(text);
    DWORD written = 0;
    ::WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  DWORD written = 0;
  ::WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace

int main() {
  int argc = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(dd::Utf8(wide[i]));
  ::LocalFree(wide);
  const dd::ProgramOptions options = dd::ParseProgramOptions(args);
  if (options.version) {
    Print(stdout, std::string("drivedesk ") + dd::kVersion + "\r\n");
    return 0;
  }
  if (options.help || options.bad) {
    Print(options.bad ? stderr : stdout, kUsage);
    return options.bad ? 64 : 0;
  }
  return dd::RunProgram(options);
}
