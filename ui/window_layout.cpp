#include "ui/window_layout.h"

#include "app/control_names.h"

#include <array>
#include <string>

namespace dd {
namespace {

const std::vector<ComboItem>& BaudItems() {
  static const std::vector<ComboItem> items = {{"9600", 9600},     {"19200", 19200},
                                               {"38400", 38400},   {"57600", 57600},
                                               {"115200", 115200}, {"250000", 250000}};
  return items;
}

const std::vector<ComboItem>& LevelItems() {
  static const std::vector<ComboItem> items = {{"常开", 0}, {"常闭", 1}};
  return items;
}

ControlDef Make(std::string name, ControlKind kind, std::string parent, std::string text,
                 TwipRect rect) {
  ControlDef s;
  s.name = std::move(name);
  s.kind = kind;
  s.parent = std::move(parent);
  s.text = std::move(text);
  s.rect = rect;
  if (kind == ControlKind::TextField) s.color = kWindowBackground;
  return s;
}

// Builder for one form; keeps the table readable.
class Table {
 public:
  explicit Table(std::vector<ControlDef>& out) : out_(out) {}

  ControlDef& Add(std::string name, ControlKind kind, std::string parent, std::string text,
                   TwipRect rect) {
    out_.push_back(Make(std::move(name), kind, std::move(parent), std::move(text), rect));
    return out_.back();
  }

 private:
  std::vector<ControlDef>& out_;
};

// Parameter grid of Picture2: four columns of caption, field and unit label.
constexpr std::array<int, 4> kCaptionX = {0, 2520, 5040, 7560};
constexpr std::array<int, 4> kFieldX = {840, 3360, 5880, 8400};
constexpr std::array<int, 4> kUnitX = {1980, 4500, 7020, 9540};
constexpr int kCaptionWidth = 900;
constexpr int kCaptionHeight = 180;
constexpr int kCaptionDrop = 60;  // caption text sits this far below the field's top
constexpr int kFieldWidth = 1095;
constexpr int kFieldHeight = 300;
constexpr int kListWidth = 1215;
constexpr int kUnitWidth = 540;

struct GridField {
  int index;            // Text2(index)
  int column;           // 0..3
  int top;
  int captionLabel;     // Label1(captionLabel)
  const char* caption;
  int unitLabel;        // Label1(unitLabel), -1 for none
  const char* unit;
  bool display;         // accepts no typing: button-face background
  int width = kFieldWidth;
};

constexpr int kNoUnit = -1;

// Caption labels: Label1(4 + i) for Text2(0..15), Label1(47 + i - 16) for Text2(16..23).
constexpr int CaptionOf(int field) { return field < 16 ? 4 + field : 47 + field - 16; }

const std::array<GridField, 24>& GridFields() {
  static const std::array<GridField, 24> fields = {{
      {15, 0, 780, CaptionOf(15), "驱动器号：", kNoUnit, "", false},
      {16, 3, 1530, CaptionOf(16), "CPU温度：", 32, "℃", true},
      {20, 3, 1890, CaptionOf(20), "累计时间：", kNoUnit, "", true},
      {21, 3, 2250, CaptionOf(21), "累计行程：", 46, "圈", true},
      {14, 0, 2520, CaptionOf(14), "输入带宽：", kNoUnit, "", false},
      {0, 0, 3000, CaptionOf(0), "驱动电流：", 20, "A", false},
      {1, 1, 3000, CaptionOf(1), "电流下降：", 21, "%", false},
      {2, 2, 3000, CaptionOf(2), "下降等待：", 22, "ms", false},
      {3, 3, 3000, CaptionOf(3), "实时电流：", 23, "A", true},
      {4, 0, 3480, CaptionOf(4), "运行速度：", 24, "rpm", false},
      {17, 1, 3450, CaptionOf(17), "归零速度：", 31, "rpm", false},
      {5, 2, 3480, CaptionOf(5), "启动速度：", 25, "rpm", false},
      {7, 3, 3480, CaptionOf(7), "实时速度：", 26, "rpm", true},
      {6, 0, 3960, CaptionOf(6), "通信滤波：", kNoUnit, "", false},
      {22, 1, 3960, CaptionOf(22), "速度滤波：", kNoUnit, "", false},
      {23, 2, 3960, CaptionOf(23), "归零滤波：", kNoUnit, "", false},
      {8, 0, 4440, CaptionOf(8), "圈细分数：", kNoUnit, "", true},
      {9, 1, 4440, CaptionOf(9), "脉冲长度：", kNoUnit, "", false},
      {10, 2, 4440, CaptionOf(10), "圈脉冲数：", kNoUnit, "", true},
      {11, 0, 4920, CaptionOf(11), "位差报警：", 33, "(禁)", false},
      {12, 1, 4920, CaptionOf(12), "到位位差：", 34, "(禁)", false},
      {13, 2, 4920, CaptionOf(13), "到位时差：", 35, "(禁)", false},
      {18, 0, 5520, CaptionOf(18), "端口状态：", kNoUnit, "", true, 8655},
      {19, 0, 5940, CaptionOf(19), "错误信息：", kNoUnit, "", true, 8655},
  }};
  return fields;
}

void AddGridCaption(Table& t, int label, const char* caption, int column, int fieldTop) {
  t.Add(Indexed("Label1", label), ControlKind::Label, "Picture2", caption,
        {kCaptionX[column], fieldTop + kCaptionDrop, kCaptionWidth, kCaptionHeight});
}

void AddGridList(Table& t, const char* name, int label, const char* caption, int column,
                 int top, const std::vector<ComboItem>& items) {
  AddGridCaption(t, label, caption, column, top);
  t.Add(name, ControlKind::Combo, "Picture2", "", {kFieldX[column], top, kListWidth, kFieldHeight})
      .items = items;
}

void AddGridField(Table& t, const GridField& f) {
  AddGridCaption(t, f.captionLabel, f.caption, f.column, f.top);
  ControlDef& field = t.Add(Indexed("Text2", f.index), ControlKind::TextField, "Picture2", "",
                             {kFieldX[f.column], f.top, f.width, kFieldHeight});
  if (f.display) field.color = kButtonFace;
  if (f.unitLabel == kNoUnit) return;
  const std::string unit = f.unit;
  const bool song = unit == "A" || unit == "%" || unit == "ms" || unit == "rpm";
  // The 12-point unit labels are taller; centre them on the field as well.
  const TwipRect rect = song ? TwipRect{kUnitX[f.column], f.top + 30, kUnitWidth, 240}
                             : TwipRect{kUnitX[f.column], f.top + kCaptionDrop, kUnitWidth,
                                        kCaptionHeight};
  ControlDef& label =
      t.Add(Indexed("Label1", f.unitLabel), ControlKind::Label, "Picture2", unit, rect);
  label.textColor = kRed;
  label.visible = false;
  if (song) {
    label.fontFamily = "宋体";
    label.fontPoints = 12;
  }
}

FormDef BuildMainForm() {
  FormDef form;
  form.name = "Form1";
  form.title = "DriveDesk";
  form.client = {0, 0, 10185, 8535};
  form.outerWidth = kFullOuterWidth;
  form.outerHeight = kFullOuterHeight;
  Table t(form.controls);
  using K = ControlKind;

  // Connection group.
  t.Add("Label6", K::Label, "Form1", "串口号：", {240, 300, 735, 255});
  t.Add("Combo1", K::Combo, "Form1", "", {960, 240, 1095, 300});
  t.Add("Label2", K::Label, "Form1", "波特率：", {240, 660, 735, 255});
  t.Add("Combo2", K::Combo, "Form1", "", {960, 600, 1095, 300}).items = BaudItems();
  t.Add("Command1", K::Button, "Form1", "开启通信", {240, 960, 1815, 495}).enabled = false;
  t.Add("Shape1", K::RoundLamp, "Form1", "", {2280, 240, 615, 615}).color = kLightGrey;

  // Parameter panel first: the motion panel overlaps its upper right part and must
  // stay in front of it.
  t.Add("Picture2", K::Panel, "Form1", "", {240, 1860, 9855, 6255}).enabled = false;
  t.Add("Label1(0)", K::Label, "Picture2", "驱动器信息：", {0, 0, 1080, kCaptionHeight});
  AddGridList(t, "Combo3", 1, "工作模式：", 0, 1200,
              {{"方向+脉冲", 0}, {"双脉冲", 4}, {"下限+上限", 8}});
  t.Add("Check1", K::Check, "Picture2", "电机换向", {2520, 1200, kListWidth, 255});
  t.Add("Check2", K::Check, "Picture2", "初始脱机", {2520, 1560, kListWidth, 255});
  AddGridList(t, "Combo6", 55, "原点信号：", 2, 1530, LevelItems());
  t.Add("Check3", K::Check, "Picture2", "APP换向", {2520, 1920, kListWidth, 255});
  AddGridList(t, "Combo7", 56, "极限信号：", 2, 1890, LevelItems());
  AddGridList(t, "Combo4", 2, "通信速率：", 0, 2040, BaudItems());
  for (const GridField& f : GridFields()) AddGridField(t, f);
  t.Add("Command3", K::Button, "Picture2", "保存修改", {7800, 4560, 1695, 615});

  // Motion panel.
  t.Add("Picture1", K::Panel, "Form1", "", {kPicture1FullLeft, 240, 5535, 2895}).enabled = false;
  t.Add("Label1(41)", K::Label, "Picture1", "远马达端", {480, 60, 780, 180}).visible = false;
  t.Add("Shape2", K::RoundLamp, "Picture1", "", {1320, 30, 210, 210}).visible = false;
  t.Add("Label1(42)", K::Label, "Picture1", "近马达端", {4740, 60, 780, 180}).visible = false;
  t.Add("Shape3", K::RoundLamp, "Picture1", "", {4440, 30, 210, 210}).visible = false;
  t.Add("Label1(43)", K::Label, "Picture1", "原点", {840, 510, 420, 180}).visible = false;
  t.Add("Shape6", K::RoundLamp, "Picture1", "", {1320, 480, 210, 210}).visible = false;
  t.Add("Label1(40)", K::Label, "Picture1", "等待中", {4800, 510, 600, 180});
  t.Add("Shape4", K::RoundLamp, "Picture1", "", {4440, 480, 210, 210});
  t.Add("Label1(39)", K::Label, "Picture1", "运动中", {4800, 810, 600, 180});
  t.Add("Shape5", K::RoundLamp, "Picture1", "", {4440, 780, 210, 210});
  t.Add("Label1(3)", K::Label, "Picture1", "实时位置：", {1800, 60, 900, 180});
  t.Add("Text3", K::TextField, "Picture1", "", {2640, 0, 1575, 300}).color = kButtonFace;
  t.Add("Label1(37)", K::Label, "Picture1", "目标位置：", {1800, 420, 900, 180});
  t.Add("Text4", K::TextField, "Picture1", "", {2640, 360, 1575, 300}).color = kButtonFace;
  t.Add("Label1(38)", K::Label, "Picture1", "位置偏差：", {1800, 780, 900, 180});
  t.Add("Text1", K::TextField, "Picture1", "", {2640, 720, 1575, 300}).color = kButtonFace;
  t.Add("Frame1", K::Frame, "Picture1", "JOG移动", {15, 960, 1335, 855}).enabled = false;
  t.Add("Command5(0)", K::Button, "Frame1", "<<", {120, 240, 495, 495}).toolTip =
      "向远离马达方向移动";
  t.Add("Command5(1)", K::Button, "Frame1", ">>", {720, 240, 495, 495}).toolTip =
      "向靠近马达方向移动";
  t.Add("Command7", K::Button, "Picture1", "中断", {1800, 1200, 555, 555});
  t.Add("Command4", K::Button, "Picture1", "置零", {2355, 1200, 555, 555});
  t.Add("Command2", K::Button, "Picture1", "归零", {2910, 1200, 555, 555}).enabled = false;
  t.Add("Command9", K::Button, "Picture1", "使能", {3465, 1200, 555, 555});
  t.Add("Command8", K::Button, "Picture1", "设定", {4020, 1200, 555, 555});
  t.Add("Command10", K::Button, "Picture1", "简洁版", {4575, 1200, 870, 555});
  t.Add("Frame2", K::Frame, "Picture1", "MOVE移动", {15, 1980, 5415, 855});
  t.Add("Label1(27)", K::Label, "Frame2", "移动距离", {600, 390, 720, 180});
  t.Add("Text5", K::TextField, "Frame2", "", {1440, 360, 1575, 270});
  t.Add("Combo5", K::Combo, "Frame2", "", {3120, 360, 855, 300}).items = {{"脉冲", 0}, {"圈", 1}};
  t.Add("Command6(0)", K::Button, "Frame2", "-", {4200, 240, 495, 495}).toolTip =
      "向远离马达方向移动";
  t.Add("Command6(1)", K::Button, "Frame2", "+", {4800, 240, 495, 495}).toolTip =
      "向靠近马达方向移动";

  // Status line.
  t.Add("Text6(0)", K::TextField, "Form1", "提示信息：", {0, 8235, 975, 300}).color = kButtonFace;
  t.Add("Text6(1)", K::TextField, "Form1", "", {960, 8235, 9225, 300}).color = kButtonFace;
  return form;
}

FormDef BuildSettingsForm() {
  FormDef form;
  form.name = "Form2";
  form.title = "设定";
  form.client = {0, 0, 3285, 2745};
  Table t(form.controls);
  using K = ControlKind;
  t.Add("Form2.Label1(0)", K::Label, "Form2", "归零方式选择：", {120, 240, 1260, 180});
  t.Add("Form2.Picture1", K::Panel, "Form2", "", {1440, 240, 1695, 1095});
  t.Add("Form2.Option1", K::Option, "Form2.Picture1", "原点", {120, 0, 855, 255});
  t.Add("Form2.Option2", K::Option, "Form2.Picture1", "远马达端极限", {120, 360, 1575, 255});
  t.Add("Form2.Option3", K::Option, "Form2.Picture1", "近马达端极限", {120, 720, 1815, 255});
  t.Add("Form2.Label1(1)", K::Label, "Form2", "归零后偏移值：", {120, 1620, 1260, 180});
  t.Add("Form2.Text1", K::TextField, "Form2", "", {1440, 1560, 975, 300});
  t.Add("Form2.Label1(2)", K::Label, "Form2", "圈", {2520, 1620, 180, 180});
  t.Add("Form2.Command1", K::Button, "Form2", "保存", {120, 2160, 3015, 495});
  return form;
}

}  // namespace

const FormDef& MainFormDef() {
  static const FormDef form = BuildMainForm();
  return form;
}

const FormDef& SettingsFormDef() {
  static const FormDef form = BuildSettingsForm();
  return form;
}

const ControlDef* FindControlDef(std::string_view name) {
  for (const FormDef* form : {&MainFormDef(), &SettingsFormDef()}) {
    for (const ControlDef& c : form->controls) {
      if (c.name == name) return &c;
    }
  }
  return nullptr;
}

ControlState StartState(const ControlDef& def) {
  ControlState s;
  s.text = def.text;
  s.enabled = def.enabled;
  s.visible = def.visible;
  s.color = def.color;
  s.items = def.items;
  s.comboIndex = -1;
  s.checked = false;
  return s;
}

void DefineControls(ControlModel& model) {
  for (const FormDef* form : {&MainFormDef(), &SettingsFormDef()}) {
    for (const ControlDef& c : form->controls) model.Define(c.name, StartState(c));
  }
}

void ResetControls(ControlModel& model, const FormDef& form) {
  for (const ControlDef& c : form.controls) {
    const ControlState s = StartState(c);
    model.SetItems(c.name, s.items);
    model.SetComboIndex(c.name, s.comboIndex);
    model.SetText(c.name, s.text);
    model.SetChecked(c.name, s.checked);
    model.SetColor(c.name, s.color);
    model.SetVisible(c.name, s.visible);
    model.SetEnabled(c.name, s.enabled);
  }
}

}  // namespace dd
