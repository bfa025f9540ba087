// The parameter backup file: UTF-8 text a person can read, diff and edit.
//
//   # comment
//   format = 1
//   model = 10500000
//   DriveConfig = 8          # 工作模式：下限+上限 ...
//   ...
//
// One "Name = value" line per parameter of the save's set, values in the drive's own
// register units exactly as drivectl prints a read; "#" starts a comment anywhere.
// Parsing checks the syntax, the names, repeats, completeness and that each value fits
// its register; CheckAgainstDrive adds the window's field checks and the model. Every
// problem names its line. Standard library only.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "params/field_validation.h"
#include "params/parameter_set.h"

namespace dd {

inline constexpr int kParameterFileFormat = 1;
// A real backup is under 2 KiB; anything far larger is not one.
inline constexpr std::size_t kParameterFileMaxBytes = 64 * 1024;

// One value per parameter of the set; SensorConfig is absent for drives whose sensor
// levels are fixed.
using ParameterValues = std::array<std::optional<int64_t>, kParameterCount>;

struct ParameterFile {
  double model = 0;
  ParameterValues values{};
  std::array<int, kParameterCount> lines{};  // where each value stands
  int modelLine = 0;
  int lineCount = 0;
};

enum class FileProblemKind {
  Unreadable,     // cannot be opened or read
  TooLarge,       // over kParameterFileMaxBytes
  NotUtf8,        // bytes that are not UTF-8, or control characters
  NotText,        // the file as a whole: detail "utf16", "encoding" (not UTF-8) or "empty"
  Syntax,         // not "Name = value"
  NotANumber,     // value is not a whole decimal number
  UnknownName,
  Repeated,       // detail: the line it first stood on
  Missing,        // names the parameter; line is the file's last; detail "configurable"
                  // for a SensorConfig the drive needs
  BadFormat,      // format other than 1
  NotEncodable,   // does not fit the register; detail: "VALUE LARGEST"
  OutOfRange,     // beyond what the window accepts; detail: "low..high"
  NotSettable,    // a bit pattern the window cannot set (work mode, sensor levels)
  OtherModel,     // detail: the drive's model
  FixedLevels,    // a SensorConfig line for a drive whose sensor levels are fixed
};

struct FileProblem {
  int line = 0;  // 1-based; 0 for the file as a whole
  FileProblemKind kind = FileProblemKind::Syntax;
  std::string subject;  // the name or text concerned
  std::string detail;
};

// The problems, in line order; empty when `out` holds the whole file.
std::vector<FileProblem> ParseParameterFile(std::string_view text, ParameterFile& out);

// What a file is checked against on the drive it is to be written to.
struct DriveFacts {
  std::optional<double> model;  // nullopt when it could not be read
  FieldBounds bounds;
  std::optional<bool> sensorLevels;  // configurable origin and limit levels; nullopt: not known
};

// The model; nullopt when the file is for the drive's.
std::optional<FileProblem> CheckModel(const ParameterFile& file, const DriveFacts& drive);
// SensorConfig stands in the file exactly when the drive's levels are configurable (not
// checked while unknown). With `force` a line for fixed levels passes: the caller leaves
// it out.
std::vector<FileProblem> CheckSensorLevels(const ParameterFile& file, const DriveFacts& drive,
                                           bool force);
// The window's field checks for every value, the bit patterns the window can set, the
// sensor levels and the model (the model skipped with `force`).
std::vector<FileProblem> CheckAgainstDrive(const ParameterFile& file, const DriveFacts& drive,
                                           bool force);

// "FILE:LINE: reason", English for tools, Simplified Chinese for the window.
std::string DescribeProblem(std::string_view fileName, const FileProblem& problem, bool chinese);

// The reading a person knows, e.g. "600 rpm", "3.00 A", "下限+上限，初始脱机",
// "原点 常闭，极限 常开". `rpmPerUnit` and `pulsesPerRev` are of the drive that holds
// (or is to hold) the value; without them speeds stay in register units.
std::string PersonReading(ParameterWrite parameter, int64_t value,
                          std::optional<double> rpmPerUnit, double pulsesPerRev);

// The whole file: `header` lines become comments at the top.
std::string FormatParameterFile(double model, const ParameterValues& values,
                                const std::vector<std::string>& header,
                                std::optional<double> rpmPerUnit, double pulsesPerRev);

// Reads a file of at most kParameterFileMaxBytes; a problem when it cannot.
std::optional<FileProblem> ReadParameterText(const std::string& path, std::string& text);
// Writes `text` to a temporary file beside `path` and renames it into place, so a
// failure never leaves half a file. Empty on success, else the reason.
std::string WriteFileAtomically(const std::string& path, std::string_view text);

}  // namespace dd
