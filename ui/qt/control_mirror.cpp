#include "ui/qt/control_mirror.h"

#include <algorithm>

#include "app/control_model.h"
#include "ui/qt/form_widgets.h"

namespace dd {

ControlMirror::ControlMirror(ControlModel& model, QObject* parent)
    : QObject(parent), model_(model), link_(std::make_shared<Link>()) {
  link_->target = this;
  // The connection is made here, on the UI thread; a worker only emits, so nothing
  // it allocates is read on the UI thread.
  connect(this, &ControlMirror::BatchPending, this, &ControlMirror::OnBatchPending,
          Qt::QueuedConnection);
  frame_.setSingleShot(true);
  connect(&frame_, &QTimer::timeout, this, &ControlMirror::Sync);
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

void ControlMirror::OnBatchPending() {
  const qint64 since = sinceSync_.isValid() ? sinceSync_.elapsed() : kFrameMs;
  if (since >= kFrameMs) {
    Sync();
  } else if (!frame_.isActive()) {
    frame_.start(static_cast<int>(kFrameMs - since));
  }
}

void ControlMirror::Sync() {
  frame_.stop();
  sinceSync_.restart();
  const auto changes = model_.TakeChanges();
  if (changes.empty()) return;
  ++batches_;
  for (const auto& [id, state] : changes) {
    for (FormWidgets* form : forms_) form->Apply(id, state);
  }
}

}  // namespace dd
