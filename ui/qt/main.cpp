// drivedesk: one window to set up, test and watch a closed-loop stepper drive.
//   drivedesk [--log FILE] [--help] | --version
#include <cstdio>
#include <cstring>

#include "app/version.h"
#include "ui/qt/program_main.h"

namespace {

constexpr const char* kUsage =
    "用法：drivedesk [--log 文件] [--help] | --version\n"
    "  --log 文件   把总线上的每一帧追加写入该文本文件（每帧一行：时间、TX/RX、十六进制字节；\n"
    "               失败的通信另加一行“--”和结果名称）\n"
    "  --help       显示本说明\n"
    "  --version    显示版本、构建所用的提交和构建日期\n";

}  // namespace

int main(int argc, char* argv[]) {
  // Answered before Qt starts, so it works without a display.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    // The second line is what "关于 DriveDesk" shows: the commit and the build date.
    std::printf("drivedesk %s\n构建：%s（%s）\n", dd::kVersion, dd::kBuildCommit, dd::kBuildDate);
    return 0;
  }
  const dd::ProgramOptions options = dd::ParseProgramOptions(argc, argv);
  if (options.help || options.bad) {
    std::fputs(kUsage, options.bad ? stderr : stdout);
    return options.bad ? 64 : 0;
  }
  return dd::RunProgram(argc, argv, options);
}
