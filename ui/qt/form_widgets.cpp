#include "ui/qt/form_widgets.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QWidget>
#include <cmath>

#include "app/session.h"
#include "ui/qt/lamp_widget.h"
#include "ui/qt/ui_fonts.h"

namespace dd {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Qt-independent mouse button number: 1 left, 2 right, 4 middle.
int ButtonNumber(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton:
      return 1;
    case Qt::RightButton:
      return 2;
    case Qt::MiddleButton:
      return 4;
    default:
      return 0;
  }
}

// Character code a key press stands for, as the key filters see it; 0 when the key
// types nothing (arrows, Delete, function keys) and passes unfiltered.
std::u32string KeyCodes(const QKeyEvent& event) {
  const int key = event.key();
  const Qt::KeyboardModifiers mods = event.modifiers();
  if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier) && key >= Qt::Key_A &&
      key <= Qt::Key_Z) {
    return std::u32string(1, static_cast<char32_t>(key - Qt::Key_A + 1));  // Ctrl+V is 22
  }
  switch (key) {
    case Qt::Key_Backspace:
      return U"\b";
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return U"\r";
    case Qt::Key_Escape:
      return U"\x1b";
    case Qt::Key_Delete:
      return {};
    default:
      break;
  }
  std::u32string codes;
  for (char32_t c : event.text().toStdU32String()) {
    if (c != 0x7F) codes.push_back(c);
  }
  return codes;
}

bool SameItems(const QComboBox& combo, const std::vector<ComboItem>& items) {
  if (combo.count() != static_cast<int>(items.size())) return false;
  for (int i = 0; i < combo.count(); ++i) {
    if (combo.itemText(i) != Q(items[i].text) ||
        combo.itemData(i).toInt() != items[i].data ||
        combo.itemData(i, Qt::ToolTipRole).toString() != Q(items[i].toolTip)) {
      return false;
    }
  }
  return true;
}

// Sets the colour in every colour group: a widget inside a disabled panel reads its
// Disabled group, so comparing only that one would leave the active colour behind.
void SetRole(QWidget* widget, QPalette::ColorRole role, uint32_t color) {
  QPalette palette = widget->palette();
  const QColor wanted = ToQColor(color, QApplication::palette(widget));
  const auto same = [&](QPalette::ColorGroup group) { return palette.color(group, role) == wanted; };
  if (same(QPalette::Active) && same(QPalette::Inactive) && same(QPalette::Disabled)) return;
  palette.setColor(role, wanted);
  widget->setPalette(palette);
}

// A field's own text colour (stale values are grey), or the platform's in every colour
// group, so a disabled field keeps its greyed text.
void SetTextColor(QWidget* field, uint32_t color) {
  QPalette palette = field->palette();
  const QPalette defaults = QApplication::palette(field);
  bool changed = false;
  for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    const QColor wanted = color == kDefaultTextColor ? defaults.color(group, QPalette::Text)
                                                     : ToQColor(color, defaults);
    if (palette.color(group, QPalette::Text) != wanted) {
      palette.setColor(group, QPalette::Text, wanted);
      changed = true;
    }
  }
  if (changed) field->setPalette(palette);
}

}  // namespace

FormWidgets::FormWidgets(Session& session, const FormDef& form, QWidget* root)
    : QObject(root), session_(session), form_(form), root_(root) {
  root_->setFont(WindowFont());
  Build();
  ApplyAll();
}

QWidget* FormWidgets::Widget(Control id) const {
  auto it = widgets_.find(id);
  return it == widgets_.end() ? nullptr : it->second;
}

const ControlDef* FormWidgets::Def(Control id) const {
  for (const ControlDef& c : form_.controls) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

int FormWidgets::PixelsX(int twips) const {
  return static_cast<int>(std::lround(twips * root_->logicalDpiX() / 1440.0));
}

int FormWidgets::PixelsY(int twips) const {
  return static_cast<int>(std::lround(twips * root_->logicalDpiY() / 1440.0));
}

QRect FormWidgets::Pixels(const TwipRect& r) const {
  return QRect(PixelsX(r.left), PixelsY(r.top), PixelsX(r.width), PixelsY(r.height));
}

void FormWidgets::MoveTo(Control id, int leftTwips, int topTwips) {
  const ControlDef* def = Def(id);
  QWidget* widget = Widget(id);
  if (def == nullptr || widget == nullptr) return;
  TwipRect rect = def->rect;
  rect.left = leftTwips;
  rect.top = topTwips;
  Place(widget, *def, rect);
}

void FormWidgets::Build() {
  for (const ControlDef& def : form_.controls) {
    QWidget* parent = def.parent == form_.id ? root_ : Widget(def.parent);
    if (parent == nullptr) parent = root_;
    QWidget* widget = Create(def, parent);
    widget->setObjectName(Q(std::string(ControlName(def.id))));
    if (!def.toolTip.empty()) widget->setToolTip(Q(def.toolTip));
    if (!def.fontFamily.empty() || def.fontPoints > 0) {
      widget->setFont(NamedFont(Q(def.fontFamily), def.fontPoints));
    }
    if (def.textColor != kWindowText) SetRole(widget, QPalette::WindowText, def.textColor);
    widgets_.emplace(def.id, widget);
    ids_.emplace(widget, def.id);
    Place(widget, def, def.rect);
    // Qt would move the focus before any filter sees the press; the filter gives it
    // itself, after the field that has the focus agreed to let it go.
    if (widget->focusPolicy() & Qt::ClickFocus) {
      clickFocus_.insert(widget);
      widget->setFocusPolicy(Qt::TabFocus);
    }
    widget->installEventFilter(this);
    if (def.kind == ControlKind::TextField) widget->installEventFilter(&contextMenuFilter_);
    Connect(def, widget);
  }
}

QWidget* FormWidgets::Create(const ControlDef& def, QWidget* parent) {
  switch (def.kind) {
    case ControlKind::Button: {
      auto* button = new QPushButton(parent);
      button->setAutoDefault(false);  // Enter in a field never presses a button
      return button;
    }
    case ControlKind::Label: {
      auto* label = new QLabel(parent);
      label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      return label;
    }
    case ControlKind::TextField:
      return new QLineEdit(parent);
    case ControlKind::Combo:
      return new QComboBox(parent);
    case ControlKind::Check:
      return new QCheckBox(parent);
    case ControlKind::Option:
      return new QRadioButton(parent);
    case ControlKind::RoundLamp:
      return new LampWidget(true, parent);
    case ControlKind::RectLamp:
      return new LampWidget(false, parent);
    case ControlKind::Frame:
      return new QGroupBox(parent);
    case ControlKind::Panel: {
      auto* panel = new QFrame(parent);
      panel->setFrameShape(QFrame::NoFrame);
      return panel;
    }
  }
  return new QWidget(parent);
}

void FormWidgets::Place(QWidget* widget, const ControlDef& def, const TwipRect& twips) {
  QRect rect = Pixels(twips);
  if (def.kind == ControlKind::Label) {
    // A label box lower than its font's line would cut the glyphs: grow it evenly
    // around the same centre line.
    const int line = QFontMetrics(widget->font()).height();
    if (rect.height() < line) {
      const int grow = line - rect.height();
      rect.adjust(0, -grow / 2, 0, grow - grow / 2);
    }
  }
  widget->setGeometry(rect);
}

void FormWidgets::Connect(const ControlDef& def, QWidget* widget) {
  const Control id = def.id;
  ControlModel& model = session_.controls;
  EventRouter& events = session_.events;
  switch (def.kind) {
    case ControlKind::Button:
      connect(static_cast<QPushButton*>(widget), &QPushButton::clicked, this,
              [&events, id] { events.Dispatch(id, UiEvent::Click); });
      break;
    case ControlKind::TextField:
      connect(static_cast<QLineEdit*>(widget), &QLineEdit::textEdited, this,
              [&model, id](const QString& text) {
                model.SetTextFromWidget(id, text.toStdString());
              });
      break;
    case ControlKind::Combo:
      connect(static_cast<QComboBox*>(widget), &QComboBox::activated, this,
              [this, &model, &events, id](int index) {
                if (applying_) return;
                model.SetComboIndexFromWidget(id, index);
                events.Dispatch(id, UiEvent::Click);
              });
      break;
    case ControlKind::Check:
      connect(static_cast<QCheckBox*>(widget), &QCheckBox::clicked, this,
              [this, &model, &events, id](bool checked) {
                if (applying_) return;
                model.SetCheckedFromWidget(id, checked);
                events.Dispatch(id, UiEvent::Click);
              });
      break;
    case ControlKind::Option:
      // Exclusive siblings switch off together: every toggle is reported.
      connect(static_cast<QRadioButton*>(widget), &QRadioButton::toggled, this,
              [this, &model, &events, id](bool checked) {
                if (applying_) return;
                model.SetCheckedFromWidget(id, checked);
                if (checked) events.Dispatch(id, UiEvent::Click);
              });
      break;
    default:
      break;
  }
}

void FormWidgets::ApplyAll() {
  for (const ControlDef& def : form_.controls) {
    if (session_.controls.Has(def.id)) Apply(def.id, session_.controls.State(def.id));
  }
}

void FormWidgets::Apply(Control id, const ControlState& state) {
  // The form's own text is its window's title (the drive's address, say).
  if (id == form_.id) {
    if (!state.text.empty()) root_->window()->setWindowTitle(Q(state.text));
    return;
  }
  QWidget* widget = Widget(id);
  const ControlDef* def = Def(id);
  if (widget == nullptr || def == nullptr) return;
  applying_ = true;
  const QString text = Q(state.text);
  switch (def->kind) {
    case ControlKind::Button: {
      auto* button = static_cast<QPushButton*>(widget);
      if (button->text() != text) button->setText(text);
      SetRole(button, QPalette::Button, state.color);
      break;
    }
    case ControlKind::Label: {
      auto* label = static_cast<QLabel*>(widget);
      if (label->text() != text) label->setText(text);
      break;
    }
    case ControlKind::TextField: {
      auto* field = static_cast<QLineEdit*>(widget);
      if (field->text() != text) {
        field->setText(text);
        // Show the start of a long text unless the operator is working in it.
        if (!field->hasFocus()) field->setCursorPosition(0);
      }
      SetRole(field, QPalette::Base, state.color);
      SetTextColor(field, state.textColor);
      break;
    }
    case ControlKind::Combo: {
      auto* combo = static_cast<QComboBox*>(widget);
      const QSignalBlocker block(combo);
      if (!SameItems(*combo, state.items)) {
        combo->clear();
        for (const ComboItem& item : state.items) {
          combo->addItem(Q(item.text), item.data);
          if (!item.toolTip.empty())
            combo->setItemData(combo->count() - 1, Q(item.toolTip), Qt::ToolTipRole);
        }
      }
      const int index = state.comboIndex < combo->count() ? state.comboIndex : -1;
      if (combo->currentIndex() != index) combo->setCurrentIndex(index);
      break;
    }
    case ControlKind::Check: {
      auto* check = static_cast<QCheckBox*>(widget);
      if (check->text() != text) check->setText(text);
      if (check->isChecked() != state.checked) check->setChecked(state.checked);
      break;
    }
    case ControlKind::Option: {
      auto* option = static_cast<QRadioButton*>(widget);
      if (option->text() != text) option->setText(text);
      if (option->isChecked() != state.checked) {
        if (state.checked) {
          option->setChecked(true);
          // The exclusive group switched the siblings off; the model follows.
          for (QObject* sibling : option->parent()->children()) {
            auto* other = qobject_cast<QRadioButton*>(sibling);
            auto it = ids_.find(sibling);
            if (other != nullptr && other != option && it != ids_.end()) {
              session_.controls.SetCheckedFromWidget(it->second, other->isChecked());
            }
          }
        } else {
          // An exclusive button cannot be switched off on its own.
          option->setAutoExclusive(false);
          option->setChecked(false);
          option->setAutoExclusive(true);
        }
      }
      break;
    }
    case ControlKind::RoundLamp:
    case ControlKind::RectLamp:
      static_cast<LampWidget*>(widget)->SetColor(state.color);
      break;
    case ControlKind::Frame: {
      auto* frame = static_cast<QGroupBox*>(widget);
      if (frame->title() != text) frame->setTitle(text);
      break;
    }
    case ControlKind::Panel:
      break;
  }
  if (widget->isEnabledTo(widget->parentWidget()) != state.enabled) {
    // isEnabledTo(parent) is the control's own flag, whatever its panel says.
    widget->setEnabled(state.enabled);
  }
  if (widget->isHidden() == state.visible) widget->setVisible(state.visible);
  const QString tip = Q(state.toolTip.empty() ? def->toolTip : state.toolTip);
  if (widget->toolTip() != tip) widget->setToolTip(tip);
  applying_ = false;
}

bool FormWidgets::IsTextField(QWidget* widget) const {
  auto it = ids_.find(widget);
  if (it == ids_.end()) return false;
  const ControlDef* def = Def(it->second);
  return def != nullptr && def->kind == ControlKind::TextField;
}

bool FormWidgets::MayLeaveFocusedField(QWidget* target) {
  QWidget* focused = QApplication::focusWidget();
  if (focused == nullptr || focused == target || !IsTextField(focused)) return true;
  if (validating_) return false;  // its message box is open; hold everything still
  validating_ = true;
  const bool ok = session_.events.Validate(ids_.at(focused));
  validating_ = false;
  if (ok) {
    // The focus change that follows needs no second check; forget it once it is done.
    passed_ = focused;
    QTimer::singleShot(0, this, [this] { passed_ = nullptr; });
  } else if (QApplication::focusWidget() != focused) {
    focused->setFocus(Qt::OtherFocusReason);
  }
  return ok;
}

bool FormWidgets::eventFilter(QObject* watched, QEvent* event) {
  auto it = ids_.find(watched);
  if (it == ids_.end()) return QObject::eventFilter(watched, event);
  auto* widget = static_cast<QWidget*>(watched);
  const Control id = it->second;
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease:
      return OnMouse(widget, id, event);
    case QEvent::KeyPress:
      if (IsTextField(widget)) return OnKey(widget, id, static_cast<QKeyEvent*>(event));
      break;
    case QEvent::InputMethod:
      if (IsTextField(widget)) {
        return OnInputMethod(widget, id, static_cast<QInputMethodEvent*>(event));
      }
      break;
    case QEvent::FocusOut:
      if (IsTextField(widget)) OnFocusOut(widget, id, event);
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

bool FormWidgets::OnMouse(QWidget* widget, Control id, QEvent* event) {
  // Disabled controls get no mouse events from Qt; the filter sees them first.
  if (!widget->isEnabled()) return false;
  auto* mouse = static_cast<QMouseEvent*>(event);
  const bool isButton = qobject_cast<QPushButton*>(widget) != nullptr;
  if (event->type() == QEvent::MouseButtonRelease) {
    if (swallow_ == widget) {
      if (mouse->buttons() == Qt::NoButton) swallow_ = nullptr;
      return true;
    }
    if (isButton) session_.events.Dispatch(id, UiEvent::MouseUp, ButtonNumber(mouse->button()));
    return false;
  }
  if (event->type() == QEvent::MouseButtonPress) {
    swallow_ = nullptr;  // a new press; a release lost to a message box no longer counts
  } else if (swallow_ == widget) {
    return true;  // second half of a double click whose first press was refused
  }
  // A press on a control that takes the focus first lets the field that has it
  // validate; a refused field keeps the focus and the press does nothing.
  if (clickFocus_.count(widget) != 0) {
    if (!MayLeaveFocusedField(widget)) {
      swallow_ = widget;
      return true;
    }
    if (!widget->hasFocus()) widget->setFocus(Qt::MouseFocusReason);
  }
  if (isButton) session_.events.Dispatch(id, UiEvent::MouseDown, ButtonNumber(mouse->button()));
  return false;
}

bool FormWidgets::OnKey(QWidget* widget, Control id, QKeyEvent* event) {
  const int key = event->key();
  if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
    return !MayLeaveFocusedField(nullptr);
  }
  if (key == Qt::Key_Insert) return false;  // Shift+Insert pastes unfiltered
  const std::u32string codes = KeyCodes(*event);
  if (codes.empty()) return false;
  std::u32string kept;
  for (char32_t c : codes) {
    if (session_.events.FilterKey(id, c)) kept.push_back(c);
  }
  if (kept == codes) return false;
  if (!kept.empty()) {
    // Part of a multi-character key event passed: type just that part.
    if (auto* field = qobject_cast<QLineEdit*>(widget)) {
      field->insert(QString::fromStdU32String(kept));
      session_.controls.SetTextFromWidget(id, field->text().toStdString());
    }
  }
  return true;
}

bool FormWidgets::OnInputMethod(QWidget* widget, Control id,
                                QInputMethodEvent* event) {
  const std::u32string commit = event->commitString().toStdU32String();
  if (commit.empty()) return false;
  std::u32string kept;
  for (char32_t c : commit) {
    if (session_.events.FilterKey(id, c)) kept.push_back(c);
  }
  if (kept == commit) return false;
  QInputMethodEvent filtered(event->preeditString(), event->attributes());
  filtered.setCommitString(QString::fromStdU32String(kept), event->replacementStart(),
                           event->replacementLength());
  QCoreApplication::sendEvent(widget, &filtered);
  return true;
}

void FormWidgets::OnFocusOut(QWidget* widget, Control id, QEvent* event) {
  const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
  // Another window (a message box, the dialog) or a popup taking the focus is no
  // change of field.
  if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return;
  if (passed_ == widget) {
    passed_ = nullptr;
    return;
  }
  if (validating_) return;
  // A focus change by the program: check once it is done, and take the focus back
  // if the field refuses. The check must not run inside Qt's focus switch.
  QPointer<QWidget> field = widget;
  QTimer::singleShot(0, this, [this, field, id] {
    if (field == nullptr || validating_ || QApplication::focusWidget() == field) return;
    validating_ = true;
    const bool ok = session_.events.Validate(id);
    validating_ = false;
    if (!ok && field != nullptr) field->setFocus(Qt::OtherFocusReason);
  });
}

}  // namespace dd
