#include "params/parameter_file.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "app/number_text.h"
#include "params/field_table.h"

namespace dd {
namespace {

constexpr std::size_t kSubjectMax = 40;  // bytes of a quoted name or value in a message
constexpr double kModelMax = 4294967295.0;

using K = FileProblemKind;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Valid UTF-8 (no overlong forms, no surrogates) without control characters but tab.
bool CleanUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      if ((b < 0x20 && b != '\t') || b == 0x7F) return false;
      ++i;
      continue;
    }
    int extra = 0;
    uint32_t cp = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      extra = 1;
      cp = b & 0x1Fu;
    } else if (b >= 0xE0 && b <= 0xEF) {
      extra = 2;
      cp = b & 0x0Fu;
    } else if (b >= 0xF0 && b <= 0xF4) {
      extra = 3;
      cp = b & 0x07u;
    } else {
      return false;
    }
    if (i + static_cast<std::size_t>(extra) >= s.size()) return false;
    for (int k = 1; k <= extra; ++k) {
      const auto c = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
      if ((c & 0xC0u) != 0x80u) return false;
      cp = (cp << 6) | (c & 0x3Fu);
    }
    if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
        (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))) {
      return false;
    }
    i += static_cast<std::size_t>(extra) + 1;
  }
  return true;
}

// At most kSubjectMax bytes, cut at a character boundary.
std::string Subject(std::string_view s) {
  if (s.size() <= kSubjectMax) return std::string(s);
  std::size_t end = kSubjectMax;
  while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0u) == 0x80u) --end;
  return std::string(s.substr(0, end)) + "...";
}

// A whole number too long for int64 is still one: it comes back as the extreme of its
// sign, which no register holds.
std::optional<int64_t> WholeNumber(std::string_view s) {
  const bool negative = s.front() == '-';
  std::string_view digits = negative ? s.substr(1) : s;
  if (digits.empty()) return std::nullopt;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
  if (digits.size() > 18) return negative ? INT64_MIN : INT64_MAX;
  int64_t value = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return negative ? -value : value;
}

// What a file that is not UTF-8 text at all is, and the line of its first bad byte: one
// message instead of one per line and every parameter missing.
std::optional<FileProblem> NotTextProblem(std::string_view text) {
  if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF") ||
      (text.size() >= 2 && (text[0] == '\0' || text[1] == '\0'))) {
    return FileProblem{0, K::NotText, "", "utf16"};
  }
  int line = 1;
  for (std::size_t pos = 0; pos < text.size(); ++line) {
    const std::size_t end = std::min(text.find('\n', pos), text.size());
    std::string raw(text.substr(pos, end - pos));
    for (char& c : raw) c = static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c;
    if (!CleanUtf8(raw)) return FileProblem{line, K::NotText, "", "encoding"};
    pos = end + 1;
  }
  return std::nullopt;
}

std::string Whole(double v) { return PlainDecimal(v); }

std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

constexpr int32_t kOriginClosed = 0x00080000;
constexpr int32_t kLimitsClosed = 0x30030000;

bool Bit(int64_t v, int bit) { return ((static_cast<uint64_t>(v) >> bit) & 1u) != 0; }

}  // namespace

std::vector<FileProblem> ParseParameterFile(std::string_view text, ParameterFile& out) {
  out = ParameterFile{};
  if (text.size() > kParameterFileMaxBytes) {
    return {{0, K::TooLarge, "", std::to_string(kParameterFileMaxBytes)}};
  }
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  if (auto notText = NotTextProblem(text)) return {*notText};
  std::vector<FileProblem> problems;
  int formatLine = 0;
  int line = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = std::min(text.find('\n', pos), text.size());
    std::string_view raw = text.substr(pos, end - pos);
    pos = end + 1;
    ++line;
    if (raw.ends_with('\r')) raw.remove_suffix(1);
    if (!CleanUtf8(raw)) {
      problems.push_back({line, K::NotUtf8, "", ""});
      continue;
    }
    const std::string_view content = Trim(raw.substr(0, raw.find('#')));
    if (content.empty()) continue;
    const std::size_t eq = content.find('=');
    const std::string_view name = eq == std::string_view::npos ? content : Trim(content.substr(0, eq));
    const std::string_view valueText = eq == std::string_view::npos ? "" : Trim(content.substr(eq + 1));
    if (eq == std::string_view::npos || name.empty() || valueText.empty()) {
      problems.push_back({line, K::Syntax, Subject(content), ""});
      continue;
    }
    const ParameterInfo* param = FindParameter(name);
    if (param == nullptr && name != "format" && name != "model") {
      problems.push_back({line, K::UnknownName, Subject(name), ""});
      continue;
    }
    int* seenAt = param != nullptr  ? &out.lines[IndexOf(param->write)]
                  : name == "model" ? &out.modelLine
                                    : &formatLine;
    if (*seenAt != 0) {
      problems.push_back({line, K::Repeated, std::string(name), std::to_string(*seenAt)});
      continue;
    }
    *seenAt = line;
    const auto value = WholeNumber(valueText);
    if (!value) {
      problems.push_back({line, K::NotANumber, std::string(name), Subject(valueText)});
      continue;
    }
    if (param == nullptr && name == "format") {
      if (*value != kParameterFileFormat) {
        problems.push_back({line, K::BadFormat, std::string(name), Subject(valueText)});
      }
      continue;
    }
    const double max = param != nullptr ? param->max : kModelMax;
    if (*value < 0 || static_cast<double>(*value) > max) {
      problems.push_back({line, K::NotEncodable, std::string(name), Subject(valueText) + " " + Whole(max)});
      continue;
    }
    if (param == nullptr) {
      out.model = static_cast<double>(*value);
    } else {
      out.values[IndexOf(param->write)] = *value;
    }
  }
  out.lineCount = line;
  const bool nothing = formatLine == 0 && out.modelLine == 0 &&
                       std::all_of(out.lines.begin(), out.lines.end(), [](int at) { return at == 0; });
  if (nothing && problems.empty()) return {{0, K::NotText, "", "empty"}};
  const int last = std::max(line, 1);
  if (formatLine == 0) problems.push_back({last, K::Missing, "format", ""});
  if (out.modelLine == 0) problems.push_back({last, K::Missing, "model", ""});
  for (const ParameterInfo& p : ParameterTable()) {
    // Drives with fixed sensor levels have no SensorConfig.
    if (out.lines[IndexOf(p.write)] == 0 && p.write != ParameterWrite::SensorConfig) {
      problems.push_back({last, K::Missing, std::string(p.name), ""});
    }
  }
  return problems;
}

std::optional<FileProblem> CheckModel(const ParameterFile& file, const DriveFacts& drive) {
  if (drive.model == file.model) return std::nullopt;
  return FileProblem{file.modelLine, K::OtherModel, Whole(file.model),
                     drive.model ? Whole(*drive.model) : std::string("?")};
}

std::vector<FileProblem> CheckSensorLevels(const ParameterFile& file, const DriveFacts& drive,
                                           bool force) {
  const std::size_t i = IndexOf(ParameterWrite::SensorConfig);
  if (!drive.sensorLevels || *drive.sensorLevels == file.values[i].has_value()) return {};
  if (*drive.sensorLevels) {
    return {{std::max(file.lineCount, 1), K::Missing, "SensorConfig", "configurable"}};
  }
  if (force) return {};
  return {{file.lines[i], K::FixedLevels, "SensorConfig", ""}};
}

std::vector<FileProblem> CheckAgainstDrive(const ParameterFile& file, const DriveFacts& drive,
                                           bool force) {
  std::vector<FileProblem> problems;
  if (auto other = CheckModel(file, drive); other && !force) problems.push_back(*other);
  for (const ParameterInfo& p : ParameterTable()) {
    const auto& value = file.values[IndexOf(p.write)];
    if (!value) continue;
    const int line = file.lines[IndexOf(p.write)];
    const std::string name(p.name);
    const std::string text = std::to_string(*value);
    if (p.write == ParameterWrite::DriveConfig) {
      // Work mode 0, 4 or 8 and the three option bits: all the window can write.
      const int64_t mode = *value & 0xF;
      if ((mode != 0 && mode != 4 && mode != 8) || (*value & 0x1FF0) != 0) {
        problems.push_back({line, K::NotSettable, name, text});
      }
    } else if (p.write == ParameterWrite::SensorConfig) {
      if (*value != 0 && *value != kOriginClosed && *value != kLimitsClosed &&
          *value != (kOriginClosed | kLimitsClosed)) {
        problems.push_back({line, K::NotSettable, name, text});
      }
    } else if (const auto range = FieldAcceptedRange(*FindField(*p.field), drive.bounds)) {
      const auto v = static_cast<double>(*value);
      if (v < range->low || v > range->high) {
        problems.push_back({line, K::OutOfRange, name,
                            text + " " + Whole(range->low) + ".." + Whole(range->high)});
      }
    }
  }
  const auto levels = CheckSensorLevels(file, drive, force);
  problems.insert(problems.end(), levels.begin(), levels.end());
  return problems;
}

std::string DescribeProblem(std::string_view fileName, const FileProblem& p, bool chinese) {
  std::string where(fileName);
  if (p.line > 0) {
    where += chinese ? " 第 " + std::to_string(p.line) + " 行：" : ":" + std::to_string(p.line) + ": ";
  } else {
    where += chinese ? "：" : ": ";
  }
  // Details that carry a value and a bound are "VALUE BOUND".
  const std::size_t blank = p.detail.find(' ');
  const std::string first = p.detail.substr(0, blank);
  const std::string second = blank == std::string::npos ? "" : p.detail.substr(blank + 1);
  const std::string& s = p.subject;
  std::string why;
  switch (p.kind) {
    case K::Unreadable:
      why = chinese ? std::string("无法读取文件") : "cannot read the file (" + p.detail + ")";
      break;
    case K::TooLarge:
      why = chinese ? "文件超过 " + p.detail + " 字节，不是参数文件"
                    : "larger than " + p.detail + " bytes, not a parameter file";
      break;
    case K::NotUtf8:
      why = chinese ? "含有非 UTF-8 文本或控制字符" : "not UTF-8 text, or a control character";
      break;
    case K::NotText:
      why = p.detail == "empty"
                ? (chinese ? "文件为空（或只有注释），不是参数备份文件"
                           : "the file is empty (or only comments): expected a parameter "
                             "backup, \"format = 1\", \"model = ...\" and a line per parameter")
            : p.detail == "utf16"
                ? (chinese ? "文件是 UTF-16 文本，请另存为 UTF-8"
                           : "the file is UTF-16 text: save it as UTF-8")
                : (chinese ? "文件不是 UTF-8 文本（可能是 GBK 或 ANSI），请另存为 UTF-8"
                           : "not UTF-8 text (ANSI, GBK or Latin-1?): save it as UTF-8");
      break;
    case K::Syntax:
      why = chinese ? "应为“名称 = 数值”：" + s : "expected \"Name = value\": " + s;
      break;
    case K::NotANumber:
      why = chinese ? s + " 的值“" + p.detail + "”不是整数"
                    : s + ": \"" + p.detail + "\" is not a whole number";
      break;
    case K::UnknownName:
      why = chinese ? "未知参数“" + s + "”" : "unknown parameter \"" + s + "\"";
      break;
    case K::Repeated:
      why = chinese ? s + " 重复出现（第一次在第 " + p.detail + " 行）"
                    : s + " appears again (first on line " + p.detail + ")";
      break;
    case K::Missing:
      why = chinese ? "缺少 " + s : s + " is missing";
      if (!p.detail.empty()) {
        why += chinese ? "（本驱动器的原点和极限信号电平可以设置）"
                       : " (this drive's origin and limit levels are configurable)";
      }
      break;
    case K::BadFormat:
      why = chinese ? "不支持的格式 " + p.detail + "（只支持 1）"
                    : "format " + p.detail + " is not supported (only 1)";
      break;
    case K::NotEncodable:
      why = chinese ? s + " = " + first + " 超出寄存器范围 0.." + second
                    : s + " = " + first + " does not fit its register (0.." + second + ")";
      break;
    case K::OutOfRange:
      why = chinese ? s + " = " + first + " 超出本驱动器允许的范围 " + second
                    : s + " = " + first + " is outside " + second +
                          ", what the window accepts on this drive";
      break;
    case K::NotSettable:
      why = chinese ? s + " = " + p.detail + " 不是界面可以设置的值"
                    : s + " = " + p.detail + " is not a setting the window can make";
      break;
    case K::OtherModel:
      why = chinese ? "文件来自型号 " + s + " 的驱动器，当前驱动器型号为 " + p.detail
                    : "the file is for model " + s + ", the drive is model " + p.detail;
      break;
    case K::FixedLevels:
      why = chinese ? "本驱动器的原点和极限信号电平不可设置，无法写入 " + s
                    : s + ": this drive's origin and limit levels are fixed (--force skips this line)";
      break;
  }
  return where + why;
}

std::string PersonReading(ParameterWrite parameter, int64_t value,
                          std::optional<double> rpmPerUnit, double pulsesPerRev) {
  const auto v = static_cast<double>(value);
  const auto speed = [&] {
    return rpmPerUnit ? PlainDecimal(*rpmPerUnit * v) + " rpm" : PlainDecimal(v) + " 速度单位";
  };
  switch (parameter) {
    case ParameterWrite::DriveConfig: {
      const int64_t mode = value & 0xF;
      std::string text = mode == 0   ? "方向+脉冲"
                         : mode == 4 ? "双脉冲"
                         : mode == 8 ? "下限+上限"
                                     : "模式 " + std::to_string(mode);
      if (Bit(value, 14)) text += "，电机换向";
      if (Bit(value, 13)) text += "，初始脱机";
      if (Bit(value, 15)) text += "，APP换向";
      return text;
    }
    case ParameterWrite::SensorConfig: {
      const char* origin = Bit(value, 4) ? "未知" : Bit(value, 19) ? "常闭" : "常开";
      const bool limitsOff = !Bit(value, 13) && !Bit(value, 12);
      const char* limit = limitsOff && Bit(value, 29) && Bit(value, 28)     ? "常闭"
                          : limitsOff && !Bit(value, 29) && !Bit(value, 28) ? "常开"
                                                                            : "未知";
      return std::string("原点 ") + origin + "，极限 " + limit;
    }
    case ParameterWrite::DriveCurrent: return FixedDecimals(v / 100.0, 2) + " A";
    case ParameterWrite::CurrentReduction: return PlainDecimal(v) + " %";
    case ParameterWrite::ReductionDelay: return Grouped(v) + " ms";
    case ParameterWrite::RunSpeed:
    case ParameterWrite::HomingSpeed:
    case ParameterWrite::StartSpeed: return speed();
    case ParameterWrite::InputBandwidth: return Grouped(v);
    case ParameterWrite::PulseLength:
      if (pulsesPerRev > 0 && v > 0) {
        return Grouped(v) + "（圈细分数 " + PlainDecimal(pulsesPerRev / v) + "）";
      }
      return Grouped(v);
    case ParameterWrite::DriveNumber:
    case ParameterWrite::CommFilter:
    case ParameterWrite::SpeedFilter:
    case ParameterWrite::HomingFilter: break;
  }
  return PlainDecimal(v);
}

std::string FormatParameterFile(double model, const ParameterValues& values,
                                const std::vector<std::string>& header,
                                std::optional<double> rpmPerUnit, double pulsesPerRev) {
  std::string text;
  for (const std::string& line : header) text += "# " + line + "\n";
  text += "format = " + std::to_string(kParameterFileFormat) + "\n";
  text += "model = " + Whole(model) + "\n";
  for (const ParameterInfo& p : ParameterTable()) {
    const auto& value = values[IndexOf(p.write)];
    if (!value) continue;
    std::string line = std::string(p.name) + " = " + std::to_string(*value);
    line.resize(std::max<std::size_t>(line.size() + 1, 28), ' ');
    text += line + "# " + std::string(p.caption) +
            PersonReading(p.write, *value, rpmPerUnit, pulsesPerRev) + "\n";
  }
  return text;
}

std::optional<FileProblem> ReadParameterText(const std::string& path, std::string& text) {
  text.clear();
  std::error_code ec;
  const auto file = PathOf(path);
  if (!std::filesystem::is_regular_file(file, ec)) {
    return FileProblem{0, K::Unreadable, "", ec ? ec.message() : "not a regular file"};
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) return FileProblem{0, K::Unreadable, "", "cannot open"};
  char buffer[4096];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    text.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (text.size() > kParameterFileMaxBytes) {
      return FileProblem{0, K::TooLarge, "", std::to_string(kParameterFileMaxBytes)};
    }
  }
  if (in.bad()) return FileProblem{0, K::Unreadable, "", "read error"};
  return std::nullopt;
}

std::string WriteFileAtomically(const std::string& path, std::string_view text) {
  // A link is written through: its target is the file replaced (renamed over), in its folder.
  auto target = PathOf(path);
  std::error_code ec;
  for (int hops = 0; hops < 40 && std::filesystem::is_symlink(target, ec); ++hops) {
    const auto next = std::filesystem::read_symlink(target, ec);
    if (ec) break;
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  const auto replaced = std::filesystem::status(target, ec);
  auto temporary = target;
  temporary += ".tmp" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return "cannot create a file in that folder";
    // The file replaced keeps its mode, set before its content is in (a new one gets the umask's).
    if (std::filesystem::is_regular_file(replaced)) {
      std::filesystem::permissions(temporary, replaced.permissions(), ec);
    }
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      return "cannot write the file (disk full?)";
    }
  }
  std::filesystem::rename(temporary, target, ec);
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return ec.message();
  }
  return {};
}

}  // namespace dd
