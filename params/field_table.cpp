#include "params/field_table.h"

namespace dd {
namespace {

using C = Control;
using K = FieldKind;
using R = FieldRange;
using N = FieldNumber;
using S = SaveConversion;

FieldSpec Display(C field, std::optional<C> unit = std::nullopt) {
  FieldSpec f;
  f.field = field;
  f.unit = unit;
  return f;
}

FieldSpec Edit(C field, K kind, R range, N number, double low, double high, S save,
               std::optional<C> unit = std::nullopt) {
  FieldSpec f;
  f.field = field;
  f.kind = kind;
  f.range = range;
  f.number = number;
  f.low = low;
  f.high = high;
  f.save = save;
  f.unit = unit;
  return f;
}

FieldSpec SpeedField(C field, SpeedLimits limits, S save, C unit) {
  FieldSpec f = Edit(field, K::Decimal, R::Speed, N::Real, 1, 0, save, unit);
  f.speed = limits;
  return f;
}

FieldSpec BareNumberMessage(FieldSpec f) {
  f.bareNumberMessage = true;
  return f;
}

FieldSpec BareLowerMessage(FieldSpec f) {
  f.bareLowerMessage = true;
  return f;
}

// Rows in the order of kParameterFields.
std::array<FieldSpec, kFieldCount> Build() {
  return {{
      Edit(C::DriveCurrentField, K::Decimal, R::Current, N::Int32, 0, 0, S::CurrentHundredths,
           C::DriveCurrentUnit),
      Edit(C::CurrentReductionField, K::Decimal, R::Fixed, N::Int32, 30, 100, S::Int32,
           C::CurrentReductionUnit),
      Edit(C::ReductionDelayField, K::Integer, R::Fixed, N::Real, 50, 65535, S::Int32,
           C::ReductionDelayUnit),
      Display(C::LiveCurrentField, C::LiveCurrentUnit),
      SpeedField(C::RunSpeedField, {9600, 65280, 64000}, S::RunSpeed, C::RunSpeedUnit),
      SpeedField(C::StartSpeedField, {192, 1600, 3072}, S::Speed, C::StartSpeedUnit),
      BareNumberMessage(Edit(C::CommFilterField, K::Integer, R::Fixed, N::Int32, 0, 31, S::Int32)),
      Display(C::LiveSpeedField, C::LiveSpeedUnit),
      Display(C::UnitsPerRevField),
      Edit(C::PulseLengthField, K::Integer, R::PulseLength, N::Int32, 1, 0, S::Whole),
      Display(C::PulsesPerRevField),
      Edit(C::DeviationAlarmField, K::Integer, R::DeviationSpan, N::Real, 0, 0, S::NotSaved,
           C::DeviationAlarmUnit),
      Edit(C::InPositionWindowField, K::Integer, R::DeviationSpan, N::Real, 0, 0, S::NotSaved,
           C::InPositionWindowUnit),
      Edit(C::InPositionTimeField, K::Integer, R::Fixed, N::Int32, 0, 300, S::NotSaved,
           C::InPositionTimeUnit),
      Edit(C::InputBandwidthField, K::Integer, R::None, N::Real, 0, 0, S::Whole),
      Edit(C::DriveNumberField, K::Integer, R::Fixed, N::Int16, 1, 247, S::Int16),
      Display(C::CpuTemperatureField, C::CpuTemperatureUnit),
      SpeedField(C::HomingSpeedField, {9600, 65280, 65280}, S::Speed, C::HomingSpeedUnit),
      Display(C::PortStatusField),
      Display(C::ErrorTextField),
      Display(C::RunTimeField),
      Display(C::TravelField, C::TravelUnit),
      BareLowerMessage(Edit(C::SpeedFilterField, K::Integer, R::Fixed, N::Int16, 0, 31, S::Int32)),
      Edit(C::HomingFilterField, K::Integer, R::Fixed, N::Int16, 0, 18, S::Int32),
  }};
}

}  // namespace

const std::array<FieldSpec, kFieldCount>& FieldTable() {
  static const std::array<FieldSpec, kFieldCount> table = Build();
  return table;
}

const FieldSpec* FindField(Control field) {
  for (const FieldSpec& f : FieldTable()) {
    if (f.field == field) return &f;
  }
  return nullptr;
}

}  // namespace dd
