#include "params/field_table.h"

namespace dd {
namespace {

using K = FieldKind;
using R = FieldRange;
using N = FieldNumber;
using S = SaveConversion;

FieldSpec Display(int index, int unitLabel = -1) {
  FieldSpec f;
  f.index = index;
  f.unitLabel = unitLabel;
  return f;
}

FieldSpec Edit(int index, K kind, R range, N number, double low, double high, S save,
               int unitLabel = -1) {
  FieldSpec f;
  f.index = index;
  f.kind = kind;
  f.range = range;
  f.number = number;
  f.low = low;
  f.high = high;
  f.save = save;
  f.unitLabel = unitLabel;
  return f;
}

FieldSpec SpeedField(int index, SpeedLimits limits, S save, int unitLabel) {
  FieldSpec f = Edit(index, K::Decimal, R::Speed, N::Real, 1, 0, save, unitLabel);
  f.speed = limits;
  return f;
}

std::array<FieldSpec, kFieldCount> Build() {
  std::array<FieldSpec, kFieldCount> t{};
  t[0] = Edit(0, K::Decimal, R::Current, N::Int32, 0, 0, S::CurrentHundredths, 20);
  t[1] = Edit(1, K::Decimal, R::Fixed, N::Int32, 30, 100, S::Int32, 21);
  t[2] = Edit(2, K::Integer, R::Fixed, N::Real, 50, 65535, S::Int32, 22);
  t[3] = Display(3, 23);
  t[4] = SpeedField(4, {9600, 65280, 64000}, S::RunSpeed, 24);
  t[5] = SpeedField(5, {192, 1600, 3072}, S::Speed, 25);
  t[6] = Edit(6, K::Integer, R::Fixed, N::Int32, 0, 31, S::Int32);
  t[6].bareNumberMessage = true;
  t[7] = Display(7, 26);
  t[8] = Display(8);
  t[9] = Edit(9, K::Integer, R::PulseLength, N::Int32, 1, 0, S::Whole);
  t[10] = Display(10);
  t[11] = Edit(11, K::Integer, R::DeviationSpan, N::Real, 0, 0, S::NotSaved, 33);
  t[12] = Edit(12, K::Integer, R::DeviationSpan, N::Real, 0, 0, S::NotSaved, 34);
  t[13] = Edit(13, K::Integer, R::Fixed, N::Int32, 0, 300, S::NotSaved, 35);
  t[14] = Edit(14, K::Integer, R::None, N::Real, 0, 0, S::Whole);
  t[15] = Edit(15, K::Integer, R::Fixed, N::Int16, 1, 247, S::Int16);
  t[16] = Display(16, 32);
  t[17] = SpeedField(17, {9600, 65280, 65280}, S::Speed, 31);
  t[18] = Display(18);
  t[19] = Display(19);
  t[20] = Display(20);
  t[21] = Display(21, 46);
  t[22] = Edit(22, K::Integer, R::Fixed, N::Int16, 0, 31, S::Int32);
  t[22].bareLowerMessage = true;
  t[23] = Edit(23, K::Integer, R::Fixed, N::Int16, 0, 18, S::Int32);
  return t;
}

}  // namespace

const std::array<FieldSpec, kFieldCount>& FieldTable() {
  static const std::array<FieldSpec, kFieldCount> table = Build();
  return table;
}

const FieldSpec& FieldAt(int index) { return FieldTable().at(static_cast<std::size_t>(index)); }

}  // namespace dd
