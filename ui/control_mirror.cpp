#include "ui/control_mirror.h"

#include <algorithm>

#include "app/control_model.h"
#include "ui/form_widgets.h"

namespace dd {

ControlMirror::ControlMirror(ControlModel& model, QObject* parent)
    : QObject(parent), model_(model), link_(std::make_shared<Link>()) {
  link_->target = this;
  // The connection is made here, on the UI thread; a worker only emits, so nothing
  // it allocates is read on the UI thread.
  connect(this, &ControlMirror::BatchPending, this, &ControlMirror::Sync, Qt::QueuedConnection);
  model_.SetObserver([link = link_] {
    const std::lock_guard<std::mutex> hold(link->mutex);
    if (link->target != nullptr) emit link->target->BatchPending();
  });
  // Whatever was pending before the forms existed is shown by their first full apply;
  // taking it ends that batch so the next change notifies again.
  model_.TakeChanges();
}

ControlMirror::~ControlMirror() {
  {
    const std::lock_guard<std::mutex> hold(link_->mutex);
    link_->target = nullptr;
  }
  model_.SetObserver(nullptr);
}

void ControlMirror::Attach(FormWidgets* form) {
  if (std::find(forms_.begin(), forms_.end(), form) == forms_.end()) forms_.push_back(form);
}

void ControlMirror::Detach(FormWidgets* form) {
  forms_.erase(std::remove(forms_.begin(), forms_.end(), form), forms_.end());
}

void ControlMirror::Sync() {
  const auto changes = model_.TakeChanges();
  if (changes.empty()) return;
  ++batches_;
  for (const auto& [name, state] : changes) {
    for (FormWidgets* form : forms_) form->Apply(name, state);
  }
}

}  // namespace dd
