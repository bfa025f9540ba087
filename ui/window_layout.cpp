#include "ui/window_layout.h"

#include <array>
#include <optional>
#include <string>

namespace dd {
namespace {

using C = Control;
using K = ControlKind;

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

// Name of an element of a control array in the layout description: "Label1(20)".
std::string Indexed(const char* array, int index) {
  return std::string(array) + "(" + std::to_string(index) + ")";
}

// Builder for one form; keeps the table readable.
class Table {
 public:
  explicit Table(std::vector<ControlDef>& out) : out_(out) {}

  ControlDef& Add(C id, std::string designerName, K kind, C parent, std::string text,
                   TwipRect rect) {
    ControlDef& s = out_.emplace_back();
    s.id = id;
    s.designerName = std::move(designerName);
    s.kind = kind;
    s.parent = parent;
    s.text = std::move(text);
    s.rect = rect;
    if (kind == K::TextField) s.color = kWindowBackground;
    return s;
  }

 private:
  std::vector<ControlDef>& out_;
};

// Parameter grid of the parameter panel: four columns of caption, field and unit label.
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
  C field;
  C caption;
  std::optional<C> unit;
  int designerIndex;  // Text2(designerIndex)
  int column;         // 0..3
  int top;
  const char* captionText;
  const char* unitText;
  bool display;       // accepts no typing: button-face background
  int width = kFieldWidth;
};

// Designer name of a field's caption: Label1(4 + i) for Text2(0..15), Label1(47 + i - 16)
// for Text2(16..23).
constexpr int CaptionLabelOf(int designerIndex) {
  return designerIndex < 16 ? 4 + designerIndex : 47 + designerIndex - 16;
}

// Designer names of the unit labels.
int UnitLabelOf(C unit) {
  switch (unit) {
    case C::DriveCurrentUnit: return 20;
    case C::CurrentReductionUnit: return 21;
    case C::ReductionDelayUnit: return 22;
    case C::LiveCurrentUnit: return 23;
    case C::RunSpeedUnit: return 24;
    case C::StartSpeedUnit: return 25;
    case C::LiveSpeedUnit: return 26;
    case C::HomingSpeedUnit: return 31;
    case C::CpuTemperatureUnit: return 32;
    case C::DeviationAlarmUnit: return 33;
    case C::InPositionWindowUnit: return 34;
    case C::InPositionTimeUnit: return 35;
    case C::TravelUnit: return 46;
    default: return -1;
  }
}

const std::array<GridField, 24>& GridFields() {
  static const std::array<GridField, 24> fields = {{
      {C::DriveNumberField, C::DriveNumberCaption, {}, 15, 0, 780, "驱动器号：", "", false},
      {C::CpuTemperatureField, C::CpuTemperatureCaption, C::CpuTemperatureUnit, 16, 3, 1530,
       "CPU温度：", "℃", true},
      {C::RunTimeField, C::RunTimeCaption, {}, 20, 3, 1890, "累计时间：", "", true},
      {C::TravelField, C::TravelCaption, C::TravelUnit, 21, 3, 2250, "累计行程：", "圈", true},
      {C::InputBandwidthField, C::InputBandwidthCaption, {}, 14, 0, 2520, "输入带宽：", "",
       false},
      {C::DriveCurrentField, C::DriveCurrentCaption, C::DriveCurrentUnit, 0, 0, 3000,
       "驱动电流：", "A", false},
      {C::CurrentReductionField, C::CurrentReductionCaption, C::CurrentReductionUnit, 1, 1,
       3000, "电流下降：", "%", false},
      {C::ReductionDelayField, C::ReductionDelayCaption, C::ReductionDelayUnit, 2, 2, 3000,
       "下降等待：", "ms", false},
      {C::LiveCurrentField, C::LiveCurrentCaption, C::LiveCurrentUnit, 3, 3, 3000,
       "实时电流：", "A", true},
      {C::RunSpeedField, C::RunSpeedCaption, C::RunSpeedUnit, 4, 0, 3480, "运行速度：", "rpm",
       false},
      {C::HomingSpeedField, C::HomingSpeedCaption, C::HomingSpeedUnit, 17, 1, 3450,
       "归零速度：", "rpm", false},
      {C::StartSpeedField, C::StartSpeedCaption, C::StartSpeedUnit, 5, 2, 3480, "启动速度：",
       "rpm", false},
      {C::LiveSpeedField, C::LiveSpeedCaption, C::LiveSpeedUnit, 7, 3, 3480, "实时速度：",
       "rpm", true},
      {C::CommFilterField, C::CommFilterCaption, {}, 6, 0, 3960, "通信滤波：", "", false},
      {C::SpeedFilterField, C::SpeedFilterCaption, {}, 22, 1, 3960, "速度滤波：", "", false},
      {C::HomingFilterField, C::HomingFilterCaption, {}, 23, 2, 3960, "归零滤波：", "", false},
      {C::UnitsPerRevField, C::UnitsPerRevCaption, {}, 8, 0, 4440, "圈细分数：", "", true},
      {C::PulseLengthField, C::PulseLengthCaption, {}, 9, 1, 4440, "脉冲长度：", "", false},
      {C::PulsesPerRevField, C::PulsesPerRevCaption, {}, 10, 2, 4440, "圈脉冲数：", "", true},
      {C::DeviationAlarmField, C::DeviationAlarmCaption, C::DeviationAlarmUnit, 11, 0, 4920,
       "位差报警：", "(禁)", false},
      {C::InPositionWindowField, C::InPositionWindowCaption, C::InPositionWindowUnit, 12, 1,
       4920, "到位位差：", "(禁)", false},
      {C::InPositionTimeField, C::InPositionTimeCaption, C::InPositionTimeUnit, 13, 2, 4920,
       "到位时差：", "(禁)", false},
      {C::PortStatusField, C::PortStatusCaption, {}, 18, 0, 5520, "端口状态：", "", true, 8655},
      {C::ErrorTextField, C::ErrorTextCaption, {}, 19, 0, 5940, "错误信息：", "", true, 8655},
  }};
  return fields;
}

void AddGridCaption(Table& t, C caption, int label, const char* text, int column, int fieldTop) {
  t.Add(caption, Indexed("Label1", label), K::Label, C::ParameterPanel, text,
        {kCaptionX[column], fieldTop + kCaptionDrop, kCaptionWidth, kCaptionHeight});
}

void AddGridList(Table& t, C list, const char* designerName, C caption, int label,
                 const char* captionText, int column, int top,
                 const std::vector<ComboItem>& items) {
  AddGridCaption(t, caption, label, captionText, column, top);
  t.Add(list, designerName, K::Combo, C::ParameterPanel, "",
        {kFieldX[column], top, kListWidth, kFieldHeight})
      .items = items;
}

void AddGridField(Table& t, const GridField& f) {
  AddGridCaption(t, f.caption, CaptionLabelOf(f.designerIndex), f.captionText, f.column, f.top);
  ControlDef& field =
      t.Add(f.field, Indexed("Text2", f.designerIndex), K::TextField, C::ParameterPanel, "",
            {kFieldX[f.column], f.top, f.width, kFieldHeight});
  if (f.display) field.color = kButtonFace;
  if (!f.unit) return;
  const std::string unit = f.unitText;
  const bool song = unit == "A" || unit == "%" || unit == "ms" || unit == "rpm";
  // The 12-point unit labels are taller; centre them on the field as well.
  const TwipRect rect = song ? TwipRect{kUnitX[f.column], f.top + 30, kUnitWidth, 240}
                             : TwipRect{kUnitX[f.column], f.top + kCaptionDrop, kUnitWidth,
                                        kCaptionHeight};
  ControlDef& label = t.Add(*f.unit, Indexed("Label1", UnitLabelOf(*f.unit)), K::Label,
                            C::ParameterPanel, unit, rect);
  label.textColor = kRed;
  label.visible = false;
  if (song) {
    label.fontFamily = "宋体";
    label.fontPoints = 12;
  }
}

FormDef BuildMainForm() {
  FormDef form;
  form.id = C::MainWindow;
  form.designerName = "Form1";
  form.title = "DriveDesk";
  form.client = {0, 0, 10185, 8535};
  form.outerWidth = kFullOuterWidth;
  form.outerHeight = kFullOuterHeight;
  Table t(form.controls);
  const C window = C::MainWindow;

  // Connection group.
  t.Add(C::PortCaption, "Label6", K::Label, window, "串口号：", {240, 300, 735, 255});
  t.Add(C::PortList, "Combo1", K::Combo, window, "", {960, 240, 1095, 300});
  t.Add(C::BaudCaption, "Label2", K::Label, window, "波特率：", {240, 660, 735, 255});
  t.Add(C::BaudList, "Combo2", K::Combo, window, "", {960, 600, 1095, 300}).items = BaudItems();
  t.Add(C::OpenCloseButton, "Command1", K::Button, window, "开启通信", {240, 960, 1815, 495})
      .enabled = false;
  t.Add(C::CommLamp, "Shape1", K::RoundLamp, window, "", {2280, 240, 615, 615}).color =
      kLightGrey;

  // Parameter panel first: the motion panel overlaps its upper right part and must
  // stay in front of it.
  const C params = C::ParameterPanel;
  t.Add(params, "Picture2", K::Panel, window, "", {240, 1860, 9855, 6255}).enabled = false;
  t.Add(C::DriveInfoCaption, "Label1(0)", K::Label, params, "驱动器信息：",
        {0, 0, 1080, kCaptionHeight});
  AddGridList(t, C::WorkModeList, "Combo3", C::WorkModeCaption, 1, "工作模式：", 0, 1200,
              {{"方向+脉冲", 0}, {"双脉冲", 4}, {"下限+上限", 8}});
  t.Add(C::MotorReversedCheck, "Check1", K::Check, params, "电机换向",
        {2520, 1200, kListWidth, 255});
  t.Add(C::StartReleasedCheck, "Check2", K::Check, params, "初始脱机",
        {2520, 1560, kListWidth, 255});
  AddGridList(t, C::OriginLevelList, "Combo6", C::OriginLevelCaption, 55, "原点信号：", 2, 1530,
              LevelItems());
  t.Add(C::AppReversedCheck, "Check3", K::Check, params, "APP换向",
        {2520, 1920, kListWidth, 255});
  AddGridList(t, C::LimitLevelList, "Combo7", C::LimitLevelCaption, 56, "极限信号：", 2, 1890,
              LevelItems());
  AddGridList(t, C::DriveBaudList, "Combo4", C::DriveBaudCaption, 2, "通信速率：", 0, 2040,
              BaudItems());
  for (const GridField& f : GridFields()) AddGridField(t, f);
  t.Add(C::SaveButton, "Command3", K::Button, params, "保存修改", {7800, 4560, 1695, 615});

  // Motion panel.
  const C motion = C::MotionPanel;
  t.Add(motion, "Picture1", K::Panel, window, "", {kMotionPanelFullLeft, 240, 5535, 2895})
      .enabled = false;
  t.Add(C::FarLimitCaption, "Label1(41)", K::Label, motion, "远马达端", {480, 60, 780, 180})
      .visible = false;
  t.Add(C::FarLimitLamp, "Shape2", K::RoundLamp, motion, "", {1320, 30, 210, 210}).visible =
      false;
  t.Add(C::NearLimitCaption, "Label1(42)", K::Label, motion, "近马达端", {4740, 60, 780, 180})
      .visible = false;
  t.Add(C::NearLimitLamp, "Shape3", K::RoundLamp, motion, "", {4440, 30, 210, 210}).visible =
      false;
  t.Add(C::OriginCaption, "Label1(43)", K::Label, motion, "原点", {840, 510, 420, 180})
      .visible = false;
  t.Add(C::OriginLamp, "Shape6", K::RoundLamp, motion, "", {1320, 480, 210, 210}).visible =
      false;
  t.Add(C::WaitingCaption, "Label1(40)", K::Label, motion, "等待中", {4800, 510, 600, 180});
  t.Add(C::WaitingLamp, "Shape4", K::RoundLamp, motion, "", {4440, 480, 210, 210});
  t.Add(C::MovingCaption, "Label1(39)", K::Label, motion, "运动中", {4800, 810, 600, 180});
  t.Add(C::MovingLamp, "Shape5", K::RoundLamp, motion, "", {4440, 780, 210, 210});
  t.Add(C::ActualPositionCaption, "Label1(3)", K::Label, motion, "实时位置：",
        {1800, 60, 900, 180});
  t.Add(C::ActualPositionField, "Text3", K::TextField, motion, "", {2640, 0, 1575, 300}).color =
      kButtonFace;
  t.Add(C::TargetPositionCaption, "Label1(37)", K::Label, motion, "目标位置：",
        {1800, 420, 900, 180});
  t.Add(C::TargetPositionField, "Text4", K::TextField, motion, "", {2640, 360, 1575, 300})
      .color = kButtonFace;
  t.Add(C::PositionDeviationCaption, "Label1(38)", K::Label, motion, "位置偏差：",
        {1800, 780, 900, 180});
  t.Add(C::PositionDeviationField, "Text1", K::TextField, motion, "", {2640, 720, 1575, 300})
      .color = kButtonFace;
  t.Add(C::JogFrame, "Frame1", K::Frame, motion, "JOG移动", {15, 960, 1335, 855}).enabled =
      false;
  t.Add(C::JogAwayButton, "Command5(0)", K::Button, C::JogFrame, "<<", {120, 240, 495, 495})
      .toolTip = "向远离马达方向移动";
  t.Add(C::JogTowardButton, "Command5(1)", K::Button, C::JogFrame, ">>", {720, 240, 495, 495})
      .toolTip = "向靠近马达方向移动";
  t.Add(C::StopButton, "Command7", K::Button, motion, "中断", {1800, 1200, 555, 555});
  t.Add(C::SetZeroButton, "Command4", K::Button, motion, "置零", {2355, 1200, 555, 555});
  t.Add(C::HomingButton, "Command2", K::Button, motion, "归零", {2910, 1200, 555, 555})
      .enabled = false;
  t.Add(C::EnableButton, "Command9", K::Button, motion, "使能", {3465, 1200, 555, 555});
  t.Add(C::SettingsButton, "Command8", K::Button, motion, "设定", {4020, 1200, 555, 555});
  t.Add(C::ViewButton, "Command10", K::Button, motion, "简洁版", {4575, 1200, 870, 555});
  t.Add(C::MoveFrame, "Frame2", K::Frame, motion, "MOVE移动", {15, 1980, 5415, 855});
  t.Add(C::MoveDistanceCaption, "Label1(27)", K::Label, C::MoveFrame, "移动距离",
        {600, 390, 720, 180});
  t.Add(C::MoveDistanceField, "Text5", K::TextField, C::MoveFrame, "", {1440, 360, 1575, 270});
  t.Add(C::MoveUnitList, "Combo5", K::Combo, C::MoveFrame, "", {3120, 360, 855, 300}).items = {
      {"脉冲", 0}, {"圈", 1}};
  t.Add(C::MoveAwayButton, "Command6(0)", K::Button, C::MoveFrame, "-", {4200, 240, 495, 495})
      .toolTip = "向远离马达方向移动";
  t.Add(C::MoveTowardButton, "Command6(1)", K::Button, C::MoveFrame, "+", {4800, 240, 495, 495})
      .toolTip = "向靠近马达方向移动";

  // Status line.
  t.Add(C::StatusCaption, "Text6(0)", K::TextField, window, "提示信息：", {0, 8235, 975, 300})
      .color = kButtonFace;
  t.Add(C::StatusText, "Text6(1)", K::TextField, window, "", {960, 8235, 9225, 300}).color =
      kButtonFace;
  return form;
}

FormDef BuildSettingsForm() {
  FormDef form;
  form.id = C::SettingsDialog;
  form.designerName = "Form2";
  form.title = "设定";
  form.client = {0, 0, 3285, 2745};
  Table t(form.controls);
  const C dialog = C::SettingsDialog;
  const C modes = C::HomingModePanel;
  t.Add(C::HomingModeCaption, "Form2.Label1(0)", K::Label, dialog, "归零方式选择：",
        {120, 240, 1260, 180});
  t.Add(modes, "Form2.Picture1", K::Panel, dialog, "", {1440, 240, 1695, 1095});
  t.Add(C::OriginModeOption, "Form2.Option1", K::Option, modes, "原点", {120, 0, 855, 255});
  t.Add(C::FarLimitModeOption, "Form2.Option2", K::Option, modes, "远马达端极限",
        {120, 360, 1575, 255});
  t.Add(C::NearLimitModeOption, "Form2.Option3", K::Option, modes, "近马达端极限",
        {120, 720, 1815, 255});
  t.Add(C::HomingOffsetCaption, "Form2.Label1(1)", K::Label, dialog, "归零后偏移值：",
        {120, 1620, 1260, 180});
  t.Add(C::HomingOffsetField, "Form2.Text1", K::TextField, dialog, "", {1440, 1560, 975, 300});
  t.Add(C::HomingOffsetUnit, "Form2.Label1(2)", K::Label, dialog, "圈", {2520, 1620, 180, 180});
  t.Add(C::SaveSettingsButton, "Form2.Command1", K::Button, dialog, "保存",
        {120, 2160, 3015, 495});
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

const ControlDef* FindControlDef(Control id) {
  for (const FormDef* form : {&MainFormDef(), &SettingsFormDef()}) {
    for (const ControlDef& c : form->controls) {
      if (c.id == id) return &c;
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
    for (const ControlDef& c : form->controls) model.Define(c.id, StartState(c));
  }
}

void ResetControls(ControlModel& model, const FormDef& form) {
  for (const ControlDef& c : form.controls) {
    const ControlState s = StartState(c);
    model.SetItems(c.id, s.items);
    model.SetComboIndex(c.id, s.comboIndex);
    model.SetText(c.id, s.text);
    model.SetChecked(c.id, s.checked);
    model.SetColor(c.id, s.color);
    model.SetVisible(c.id, s.visible);
    model.SetEnabled(c.id, s.enabled);
  }
}

}  // namespace dd
