// Brings control changes from the model to the widgets. The model reports a batch
// from whatever thread changed it; the mirror queues one Sync() on the UI thread,
// which takes the whole batch at once. A worker never waits for the UI thread, and the
// widgets are refreshed at most at a screen's rate however fast the bus is.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <memory>
#include <mutex>
#include <vector>

namespace dd {

class ControlModel;
class FormWidgets;

class ControlMirror : public QObject {
  Q_OBJECT

 public:
  explicit ControlMirror(ControlModel& model, QObject* parent = nullptr);
  ~ControlMirror() override;
  ControlMirror(const ControlMirror&) = delete;
  ControlMirror& operator=(const ControlMirror&) = delete;

  void Attach(FormWidgets* form);
  void Detach(FormWidgets* form);
  // Takes the pending batch from the model and applies it (UI thread).
  void Sync();
  // Number of batches applied so far.
  int Batches() const { return batches_; }

 signals:
  // Emitted from the changing thread; queued to Sync() on the UI thread.
  void BatchPending();

 private:
  // Shared with the observer, which may run on a worker after the mirror is gone.
  struct Link {
    std::mutex mutex;
    ControlMirror* target = nullptr;
  };

  // A batch that comes sooner than a frame after the last one waits for that frame.
  void OnBatchPending();
  static constexpr qint64 kFrameMs = 16;

  ControlModel& model_;
  std::shared_ptr<Link> link_;
  QElapsedTimer sinceSync_;
  QTimer frame_;
  std::vector<FormWidgets*> forms_;
  int batches_ = 0;
};

}  // namespace dd
