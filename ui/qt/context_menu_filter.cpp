#include "ui/qt/context_menu_filter.h"

#include <QEvent>

namespace dd {

bool ContextMenuFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ContextMenu) {
    event->accept();
    return true;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace dd
