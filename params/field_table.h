// The text fields of the parameter grid, described once: how a field takes keys, how
// its text is checked when it loses the focus, whether and how the save writes it, and
// which unit label stands beside it. The key filter, the validation, the save and the
// emptying of the panel all read this table.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "app/control.h"

namespace dd {

inline constexpr int kFieldCount = static_cast<int>(kParameterFields.size());

// Which keys a field takes.
enum class FieldKind {
  Display,  // live or derived values: no typing at all
  Decimal,  // digits, backspace and "."
  Integer,  // digits and backspace
};

// The range check on leaving the field.
enum class FieldRange {
  None,           // accepted as typed
  Fixed,          // [low, high]
  Current,        // MinCurrent/100 .. MaxCurrent/100 A, compared as int32 hundredths
  Speed,          // 1 .. speedLimit register units, chosen by PulsesPerRev
  PulseLength,    // 1 .. PulsesPerRev, quoting the text of PulsesPerRevField
  DeviationSpan,  // 0 .. PulsesPerRev x 32, quoting PulsesPerRevField and "*32"
};

// How the text becomes the number that is compared.
enum class FieldNumber { Real, Int32, Int16 };

// How the save turns the text into the register value.
enum class SaveConversion {
  NotSaved,
  Int16,              // nearest, halves to even
  Int32,              // nearest, halves to even
  Whole,              // a double written as a whole 32-bit unsigned number
  CurrentHundredths,  // single precision, times 100, nearest
  RunSpeed,           // whole rpm first, then to speed units
  Speed,              // exact rpm to speed units
};

// Speed-register upper bounds for the three drive resolutions the grid knows.
struct SpeedLimits {
  int32_t at3840000 = 0;
  int32_t at32000000 = 0;
  int32_t at61440000 = 0;
};

struct FieldSpec {
  Control field = Control::DriveCurrentField;
  FieldKind kind = FieldKind::Display;
  FieldRange range = FieldRange::None;
  FieldNumber number = FieldNumber::Real;
  double low = 0;   // FieldRange::Fixed
  double high = 0;
  SpeedLimits speed;  // FieldRange::Speed
  SaveConversion save = SaveConversion::NotSaved;
  std::optional<Control> unit;  // the unit label beside the field, if any
  // Message lines that this field shows without the four leading blanks.
  bool bareNumberMessage = false;
  bool bareLowerMessage = false;
};

const std::array<FieldSpec, kFieldCount>& FieldTable();
// The table row of a grid field; nullptr for any other control.
const FieldSpec* FindField(Control field);

}  // namespace dd
