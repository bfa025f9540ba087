// The layout table and the start states it declares in the control model.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/control_model.h"
#include "app/control.h"
#include "ui/window_layout.h"

namespace dd {
namespace {

TEST(LayoutTable, everyControlOnce_parentsBeforeChildren) {
  std::set<Control> seen;
  for (const FormDef* form : {&MainFormDef(), &SettingsFormDef()}) {
    std::set<Control> parents = {form->id};
    for (const ControlDef& c : form->controls) {
      EXPECT_TRUE(seen.insert(c.id).second) << c.id;
      EXPECT_TRUE(parents.count(c.parent)) << c.id << " in " << c.parent;
      parents.insert(c.id);
      EXPECT_GT(c.rect.width, 0) << c.id;
      EXPECT_GT(c.rect.height, 0) << c.id;
    }
  }
  // Every control but the two windows themselves has its place.
  EXPECT_EQ(seen.size() + 2, static_cast<std::size_t>(kControlCount));
}

struct UnitCase {
  Control unit;
  Control field;
  const char* text;
  bool song;
};

TEST(LayoutTable, unitLabels_redHiddenBesideTheirField) {
  using C = Control;
  const UnitCase cases[] = {{C::DriveCurrentUnit, C::DriveCurrentField, "A", true},
                            {C::RunSpeedUnit, C::RunSpeedField, "rpm", true},
                            {C::CpuTemperatureUnit, C::CpuTemperatureField, "℃", false},
                            {C::DeviationAlarmUnit, C::DeviationAlarmField, "(禁)", false},
                            {C::TravelUnit, C::TravelField, "圈", false}};
  for (const UnitCase& c : cases) {
    const ControlDef* unit = FindControlDef(c.unit);
    const ControlDef* field = FindControlDef(c.field);
    ASSERT_NE(unit, nullptr) << c.unit;
    ASSERT_NE(field, nullptr) << c.field;
    EXPECT_EQ(unit->text, c.text) << c.unit;
    EXPECT_FALSE(unit->visible) << c.unit;
    EXPECT_EQ(unit->textColor, kRed) << c.unit;
    EXPECT_EQ(unit->rect.left, field->rect.left + 1140) << c.unit;  // unit column
    EXPECT_EQ(unit->fontFamily, c.song ? "宋体" : "") << c.unit;
    EXPECT_EQ(unit->fontPoints, c.song ? 12 : 0) << c.unit;
  }
}

struct GridCase {
  Control field;
  int left;
  int top;
  int width;
  bool display;
  const char* caption;
};

TEST(LayoutTable, parameterGrid_fieldsCaptionsAndBackgrounds) {
  const GridCase cases[] = {
      {Control::DriveNumberField, 840, 780, 1095, false, "驱动器号："},
      {Control::CpuTemperatureField, 8400, 1530, 1095, true, "CPU温度："},
      {Control::DriveCurrentField, 840, 3000, 1095, false, "驱动电流："},
      {Control::HomingSpeedField, 3360, 3450, 1095, false, "归零速度："},
      {Control::LiveSpeedField, 8400, 3480, 1095, true, "实时速度："},
      {Control::ErrorTextField, 840, 5940, 8655, true, "错误信息："},
  };
  for (const GridCase& c : cases) {
    const ControlDef* f = FindControlDef(c.field);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->parent, Control::ParameterPanel);
    EXPECT_EQ(f->rect, (TwipRect{c.left, c.top, c.width, 300})) << c.field;
    EXPECT_EQ(f->color, c.display ? kButtonFace : kWindowBackground) << c.field;
    // Its caption: 900 wide, 840 to the left, 60 below the field's top.
    bool found = false;
    for (const ControlDef& s : MainFormDef().controls) {
      if (s.text == c.caption) {
        found = true;
        EXPECT_EQ(s.rect, (TwipRect{c.left - 840, c.top + 60, 900, 180})) << c.caption;
      }
    }
    EXPECT_TRUE(found) << c.caption;
  }
}

struct ListCase {
  Control name;
  std::vector<ComboItem> items;
};

bool SameItems(const std::vector<ComboItem>& a, const std::vector<ComboItem>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].text != b[i].text || a[i].data != b[i].data) return false;
  }
  return true;
}

TEST(LayoutTable, listsHoldTheirEntriesInOrder_noneChosen) {
  const std::vector<ComboItem> bauds = {{"9600", 9600},     {"19200", 19200},
                                        {"38400", 38400},   {"57600", 57600},
                                        {"115200", 115200}, {"250000", 250000}};
  const ListCase cases[] = {
      {Control::PortList, {}},
      {Control::BaudList, bauds},
      {Control::WorkModeList, {{"方向+脉冲", 0}, {"双脉冲", 4}, {"下限+上限", 8}}},
      {Control::DriveBaudList, bauds},
      {Control::MoveUnitList, {{"脉冲", 0}, {"圈", 1}}},
      {Control::OriginLevelList, {{"常开", 0}, {"常闭", 1}}},
      {Control::LimitLevelList, {{"常开", 0}, {"常闭", 1}}},
  };
  ControlModel model;
  DefineControls(model);
  for (const ListCase& c : cases) {
    EXPECT_TRUE(SameItems(model.Items(c.name), c.items)) << c.name;
    EXPECT_EQ(model.ComboIndex(c.name), -1) << c.name;
  }
}

struct StartCase {
  Control name;
  const char* text;
  bool enabled;
  bool visible;
};

TEST(LayoutTable, defineControls_startStatesOfTheWindow) {
  const StartCase cases[] = {
      {Control::OpenCloseButton, "开启通信", false, true}, {Control::MotionPanel, "", false, true},
      {Control::JogFrame, "JOG移动", false, true},    {Control::ViewButton, "简洁版", true, true},
      {Control::OriginCaption, "原点", true, false},   {Control::FarLimitLamp, "", true, false},
      {Control::StatusCaption, "提示信息：", true, true}, {Control::JogAwayButton, "<<", true, true},
      {Control::FarLimitModeOption, "远马达端极限", true, true},
  };
  ControlModel model;
  DefineControls(model);
  for (const StartCase& c : cases) {
    ASSERT_TRUE(model.Has(c.name)) << c.name;
    EXPECT_EQ(model.Text(c.name), c.text) << c.name;
    EXPECT_EQ(model.Enabled(c.name), c.enabled) << c.name;
    EXPECT_EQ(model.Visible(c.name), c.visible) << c.name;
  }
  EXPECT_EQ(model.Color(Control::CommLamp), kLightGrey);
  EXPECT_EQ(model.Color(Control::WaitingLamp), kButtonFace);
  EXPECT_EQ(model.Color(Control::ActualPositionField), kButtonFace);
  EXPECT_EQ(model.Color(Control::MoveDistanceField), kWindowBackground);
  EXPECT_EQ(model.Color(Control::StatusText), kButtonFace);
  EXPECT_FALSE(model.Checked(Control::MotorReversedCheck));
  EXPECT_EQ(FindControlDef(Control::JogAwayButton)->toolTip, "向远离马达方向移动");
  EXPECT_EQ(FindControlDef(Control::MoveTowardButton)->toolTip, "向靠近马达方向移动");
}

TEST(LayoutTable, resetControls_putsTheDialogBackToItsStart) {
  ControlModel model;
  DefineControls(model);
  model.SetText(Control::HomingOffsetField, "007");
  model.SetChecked(Control::NearLimitModeOption, true);
  model.SetText(Control::StatusText, "kept");
  model.TakeChanges();
  ResetControls(model, SettingsFormDef());
  EXPECT_EQ(model.Text(Control::HomingOffsetField), "");
  EXPECT_FALSE(model.Checked(Control::NearLimitModeOption));
  EXPECT_EQ(model.Text(Control::StatusText), "kept");
}

}  // namespace
}  // namespace dd
