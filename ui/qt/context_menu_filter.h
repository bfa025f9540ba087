// Keeps a text field's standard edit menu from appearing: the context-menu event
// (right click, menu key, Shift+F10) is swallowed; nothing else about the field changes.
#pragma once

#include <QObject>

namespace dd {

class ContextMenuFilter : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace dd
