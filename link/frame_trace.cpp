#include "link/frame_trace.h"

#include <utility>

namespace dd {
namespace {

FrameTrace& TraceSink() {
  static FrameTrace sink;
  return sink;
}

}  // namespace

void SetFrameTrace(FrameTrace trace) { TraceSink() = std::move(trace); }

bool FrameTraceActive() { return static_cast<bool>(TraceSink()); }

void TraceTransaction(const TransactionRecord& record) {
  if (const FrameTrace& sink = TraceSink()) sink(record);
}

}  // namespace dd
