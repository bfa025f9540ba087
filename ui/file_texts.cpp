#include "ui/file_texts.h"

#include <mutex>

#include "app/clock_text.h"
#include "app/number_text.h"
#include "params/parameter_set.h"

namespace dd {
namespace {

std::mutex folderMutex;
std::string lastFolder;

}  // namespace

std::string BackupFileName(double model, std::chrono::system_clock::time_point when) {
  return "驱动器参数_" + PlainDecimal(model) + "_" + LocalDateText(when) + ".txt";
}

std::string TimedFileName(std::string_view stem, std::string_view extension,
                          std::chrono::system_clock::time_point when) {
  std::string stamp = LocalDateText(when) + "_" + LocalClockText(when, false, false);
  std::erase(stamp, '-');
  std::erase(stamp, ':');
  return std::string(stem) + "_" + stamp + "." + std::string(extension);
}

std::string LastFolder() {
  const std::lock_guard lock(folderMutex);
  return lastFolder;
}

void RememberFolderOf(const std::string& path) {
  // Cut by hand: a path is UTF-8 here, which std::filesystem on Windows would not assume.
#ifdef _WIN32
  const auto cut = path.find_last_of("/\\");
#else
  const auto cut = path.find_last_of('/');
#endif
  if (cut == std::string::npos) return;
  const std::lock_guard lock(folderMutex);
  lastFolder = path.substr(0, cut == 0 ? 1 : cut);
}

std::string WindowProblemText(std::string_view fileName, FileProblem problem) {
  if (const ParameterInfo* entry = FindParameter(problem.subject)) {
    std::string caption(entry->caption);
    if (caption.ends_with("：")) caption.resize(caption.size() - std::string_view("：").size());
    problem.subject = caption + "（" + problem.subject + "）";
  }
  return DescribeProblem(fileName, problem, /*chinese=*/true);
}

}  // namespace dd
