// Any bytes as a parameter backup file: parsing, the checks against a drive and every
// message answer without crashing, and a file that parses reads back the same after it
// is written out again.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "params/parameter_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  dd::ParameterFile file;
  const auto problems = dd::ParseParameterFile(text, file);
  for (const dd::FileProblem& p : problems) (void)dd::DescribeProblem("f", p, size % 2 == 0);
  if (!problems.empty()) return 0;

  dd::DriveFacts drive;
  drive.model = size % 3 == 0 ? file.model : 10500000.0;
  drive.bounds = {600, 50, 1, 3840000, "3,840,000"};
  for (const dd::FileProblem& p : dd::CheckAgainstDrive(file, drive, size % 5 == 0)) {
    (void)dd::DescribeProblem("f", p, true);
  }
  const std::string again =
      dd::FormatParameterFile(file.model, file.values, {"again"}, 1171.875, 51200);
  dd::ParameterFile back;
  if (!dd::ParseParameterFile(again, back).empty() || back.values != file.values ||
      back.model != file.model) {
    __builtin_trap();
  }
  return 0;
}
