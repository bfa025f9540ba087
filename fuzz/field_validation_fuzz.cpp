// Any text typed or pasted into any parameter field, against any bounds a drive could
// report: the check answers (accept or a message) and never crashes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "app/number_text.h"
#include "params/field_validation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  dd::FieldBounds bounds;
  const dd::Control field = dd::kParameterFields[data[0] % dd::kParameterFields.size()];
  bounds.maxCurrent = static_cast<int16_t>(data[1] | (data[2] << 8));
  bounds.minCurrent = static_cast<int16_t>(data[3] | (data[4] << 8));
  bounds.speedCoefficient = static_cast<int32_t>(data[5] | (data[6] << 8)) * (data[7] & 3);
  static constexpr double kRevs[] = {0, 3840000, 32000000, 61440000, 51200, 1, 4294967295.0 * 50};
  bounds.pulsesPerRev = kRevs[data[7] % 7];
  bounds.pulsesPerRevText = dd::Grouped(bounds.pulsesPerRev);
  const std::string text(reinterpret_cast<const char*>(data + 8), size - 8);
  (void)dd::ValidateField(field, text, bounds);
  (void)dd::ReadFieldNumber(text);
  if (auto v = dd::ParseNumber(text)) {
    // A number that reads must also read through the field reader, with the same value.
    auto w = dd::ReadFieldNumber(text);
    if (!w || *w != *v) __builtin_trap();
  }
  return 0;
}
