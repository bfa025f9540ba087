// The layout table and the start states it declares in the control model.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/control_model.h"
#include "app/control_names.h"
#include "ui/window_layout.h"

namespace dd {
namespace {

TEST(LayoutTable, everyNameOnce_parentsBeforeChildren) {
  std::set<std::string> seen;
  for (const FormDef* form : {&MainFormDef(), &SettingsFormDef()}) {
    std::set<std::string> parents = {form->name};
    for (const ControlDef& c : form->controls) {
      EXPECT_TRUE(seen.insert(c.name).second) << c.name;
      EXPECT_TRUE(parents.count(c.parent)) << c.name << " in " << c.parent;
      parents.insert(c.name);
      EXPECT_GT(c.rect.width, 0) << c.name;
      EXPECT_GT(c.rect.height, 0) << c.name;
    }
  }
}

TEST(LayoutTable, everyControlTheLogicNames_exists) {
  const char* names[] = {
      "Label6", "Combo1", "Label2", "Combo2", "Command1", "Shape1", "Picture1", "Picture2",
      "Shape2", "Shape3", "Shape4", "Shape5", "Shape6", "Text1", "Text3", "Text4", "Text5",
      "Frame1", "Frame2", "Command2", "Command3", "Command4", "Command5(0)", "Command5(1)",
      "Command6(0)", "Command6(1)", "Command7", "Command8", "Command9", "Command10",
      "Combo3", "Combo4", "Combo5", "Combo6", "Combo7", "Check1", "Check2", "Check3",
      "Text6(0)", "Text6(1)", "Label1(0)", "Label1(3)", "Label1(27)", "Label1(37)",
      "Label1(38)", "Label1(39)", "Label1(40)", "Label1(41)", "Label1(42)", "Label1(43)",
      "Label1(55)", "Label1(56)", "Form2.Option1", "Form2.Option2", "Form2.Option3",
      "Form2.Text1", "Form2.Command1", "Form2.Label1(0)", "Form2.Label1(1)",
      "Form2.Label1(2)", "Form2.Picture1"};
  for (const char* name : names) EXPECT_NE(FindControlDef(name), nullptr) << name;
  for (int i = 0; i < 24; ++i) EXPECT_NE(FindControlDef(Text2(i)), nullptr) << i;
}

struct UnitCase {
  int label;
  int field;
  const char* unit;
  bool song;
};

TEST(LayoutTable, unitLabels_redHiddenBesideTheirField) {
  const UnitCase cases[] = {{20, 0, "A", true},     {24, 4, "rpm", true}, {32, 16, "℃", false},
                            {33, 11, "(禁)", false}, {46, 21, "圈", false}};
  for (const UnitCase& c : cases) {
    const ControlDef* unit = FindControlDef(Label1(c.label));
    const ControlDef* field = FindControlDef(Text2(c.field));
    ASSERT_NE(unit, nullptr) << c.label;
    ASSERT_NE(field, nullptr) << c.field;
    EXPECT_EQ(unit->text, c.unit) << c.label;
    EXPECT_FALSE(unit->visible) << c.label;
    EXPECT_EQ(unit->textColor, kRed) << c.label;
    EXPECT_EQ(unit->rect.left, field->rect.left + 1140) << c.label;  // unit column
    EXPECT_EQ(unit->fontFamily, c.song ? "宋体" : "") << c.label;
    EXPECT_EQ(unit->fontPoints, c.song ? 12 : 0) << c.label;
  }
}

struct GridCase {
  int field;
  int left;
  int top;
  int width;
  bool display;
  const char* caption;
};

TEST(LayoutTable, parameterGrid_fieldsCaptionsAndBackgrounds) {
  const GridCase cases[] = {
      {15, 840, 780, 1095, false, "驱动器号："},  {16, 8400, 1530, 1095, true, "CPU温度："},
      {0, 840, 3000, 1095, false, "驱动电流："},  {17, 3360, 3450, 1095, false, "归零速度："},
      {7, 8400, 3480, 1095, true, "实时速度："},  {19, 840, 5940, 8655, true, "错误信息："},
  };
  for (const GridCase& c : cases) {
    const ControlDef* f = FindControlDef(Text2(c.field));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->parent, "Picture2");
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
  const char* name;
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
      {"Combo1", {}},
      {"Combo2", bauds},
      {"Combo3", {{"方向+脉冲", 0}, {"双脉冲", 4}, {"下限+上限", 8}}},
      {"Combo4", bauds},
      {"Combo5", {{"脉冲", 0}, {"圈", 1}}},
      {"Combo6", {{"常开", 0}, {"常闭", 1}}},
      {"Combo7", {{"常开", 0}, {"常闭", 1}}},
  };
  ControlModel model;
  DefineControls(model);
  for (const ListCase& c : cases) {
    EXPECT_TRUE(SameItems(model.Items(c.name), c.items)) << c.name;
    EXPECT_EQ(model.ComboIndex(c.name), -1) << c.name;
  }
}

struct StartCase {
  const char* name;
  const char* text;
  bool enabled;
  bool visible;
};

TEST(LayoutTable, defineControls_startStatesOfTheWindow) {
  const StartCase cases[] = {
      {"Command1", "开启通信", false, true}, {"Picture1", "", false, true},
      {"Frame1", "JOG移动", false, true},    {"Command10", "简洁版", true, true},
      {"Label1(43)", "原点", true, false},   {"Shape2", "", true, false},
      {"Text6(0)", "提示信息：", true, true}, {"Command5(0)", "<<", true, true},
      {"Form2.Option2", "远马达端极限", true, true},
  };
  ControlModel model;
  DefineControls(model);
  for (const StartCase& c : cases) {
    ASSERT_TRUE(model.Has(c.name)) << c.name;
    EXPECT_EQ(model.Text(c.name), c.text) << c.name;
    EXPECT_EQ(model.Enabled(c.name), c.enabled) << c.name;
    EXPECT_EQ(model.Visible(c.name), c.visible) << c.name;
  }
  EXPECT_EQ(model.Color("Shape1"), kLightGrey);
  EXPECT_EQ(model.Color("Shape4"), kButtonFace);
  EXPECT_EQ(model.Color("Text3"), kButtonFace);
  EXPECT_EQ(model.Color("Text5"), kWindowBackground);
  EXPECT_EQ(model.Color("Text6(1)"), kButtonFace);
  EXPECT_FALSE(model.Checked("Check1"));
  EXPECT_EQ(FindControlDef("Command5(0)")->toolTip, "向远离马达方向移动");
  EXPECT_EQ(FindControlDef("Command6(1)")->toolTip, "向靠近马达方向移动");
}

TEST(LayoutTable, resetControls_putsTheDialogBackToItsStart) {
  ControlModel model;
  DefineControls(model);
  model.SetText("Form2.Text1", "007");
  model.SetChecked("Form2.Option3", true);
  model.SetText("Text6(1)", "kept");
  model.TakeChanges();
  ResetControls(model, SettingsFormDef());
  EXPECT_EQ(model.Text("Form2.Text1"), "");
  EXPECT_FALSE(model.Checked("Form2.Option3"));
  EXPECT_EQ(model.Text("Text6(1)"), "kept");
}

}  // namespace
}  // namespace dd
