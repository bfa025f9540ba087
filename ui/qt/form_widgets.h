// The widgets of one form, built from its layout table and named after their
// controls. Mirrors control states from the model into the widgets, reports what the
// user does back to the model and the event router, filters typed keys, runs the
// validation when a text field is about to lose the focus, and hides the text
// fields' context menu.
#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <functional>
#include <map>
#include <set>

#include "app/control_model.h"
#include "ui/qt/context_menu_filter.h"
#include "ui/window_layout.h"

class QWidget;
class QKeyEvent;
class QInputMethodEvent;

namespace dd {

struct Session;

class FormWidgets : public QObject {
  Q_OBJECT

 public:
  // Builds every control of `form` inside `root` and applies the model's states.
  FormWidgets(Session& session, const FormDef& form, QWidget* root);

  const FormDef& Form() const { return form_; }
  QWidget* Root() const { return root_; }
  // The widget of a control, nullptr when the form has no such control.
  QWidget* Widget(Control id) const;
  const ControlDef* Def(Control id) const;

  // Applies one control's state (UI thread).
  void Apply(Control id, const ControlState& state);
  // Applies the model's current state of every control of the form.
  void ApplyAll();

  // Twips to pixels at the screen's logical resolution (15 twips a pixel at 96 DPI).
  int PixelsX(int twips) const;
  int PixelsY(int twips) const;
  QRect Pixels(const TwipRect& rect) const;
  // Moves a control to a position given in twips, relative to its parent.
  void MoveTo(Control id, int leftTwips, int topTwips);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Build();
  QWidget* Create(const ControlDef& def, QWidget* parent);
  void Place(QWidget* widget, const ControlDef& def, const TwipRect& rect);
  void Connect(const ControlDef& def, QWidget* widget);

  bool OnMouse(QWidget* widget, Control id, QEvent* event);
  bool OnKey(QWidget* widget, Control id, QKeyEvent* event);
  bool OnInputMethod(QWidget* widget, Control id, QInputMethodEvent* event);
  void OnFocusOut(QWidget* widget, Control id, QEvent* event);
  // Whether the text field that holds the focus may give it up to `target`
  // (nullptr: to whatever comes next). Runs its validation at most once.
  bool MayLeaveFocusedField(QWidget* target);
  bool IsTextField(QWidget* widget) const;

  Session& session_;
  const FormDef& form_;
  QWidget* root_;
  ContextMenuFilter contextMenuFilter_;
  std::map<Control, QWidget*> widgets_;
  std::map<const QObject*, Control> ids_;
  std::set<const QWidget*> clickFocus_;  // controls that take the focus when clicked
  bool applying_ = false;      // widget signals caused by the model are not reported back
  bool validating_ = false;    // a validation (and its message box) is running
  QPointer<QWidget> passed_;   // field whose validation passed for the focus change under way
  QPointer<QWidget> swallow_;  // widget whose press was refused: its release is dropped too
};

}  // namespace dd
