#include "params/parameter_file_actions.h"

#include <memory>

#include "app/orderly_shutdown.h"
#include "app/shell_handlers.h"
#include "params/field_validation.h"
#include "params/save_parameters.h"

namespace dd {
namespace {

std::string Reading(ParameterWrite p, int64_t value, const DriveFacts& facts) {
  const FieldBounds& b = facts.bounds;
  return PersonReading(p, value, RpmPerSpeedUnit(b.speedCoefficient, b.pulsesPerRev),
                       b.pulsesPerRev);
}

std::string Caption(ParameterWrite p) { return std::string(InfoOf(p).caption); }

}  // namespace

bool ParameterFileActionsAvailable(const Session& session) {
  return session.Connected() && session.state.PortHandle.load() != 0 &&
         session.controls.Enabled(Control::ParameterPanel);
}

bool RefuseWhileAxisBusy(Session& session) {
  if (!MotionRunning(session)) return false;
  session.Message(MessageIcon::Error, kAxisBusyTitle, kAxisBusyText);
  return true;
}

void ReadDriveInBackground(Session& session, const ParameterMask& which, DriveReadDone done) {
  Session* s = &session;
  const uint32_t epoch = s->state.ConnectionEpoch.load();
  const SerialHandle port = s->state.PortHandle.load();
  StartWorker(session, [s, which, done = std::move(done), epoch, port] {
    std::optional<DriveParameters> read;
    std::string failure;
    {
      // The lock for each transaction only: polling goes on between them (the stored
      // parameters do not change while the axis stands).
      BusAccess bus{port, s->state.DriveAddress.load(), [s](int ms) { DelayMs(*s, ms); },
                    [s, epoch, port] {
                      // A whole polling cycle without an answer: the drive is gone, and
                      // retrying every register behind polling's own retries takes minutes.
                      return s->state.ConnectionEpoch.load() != epoch ||
                             s->state.PortHandle.load() != port || s->state.DriveSilent.load();
                    }};
      bus.lock = &s->state.Bus;
      std::string failedRead;
      if (read = ReadDriveParameters(bus, which, failedRead); !read) {
        failure = s->state.DriveSilent.load()       ? "驱动器无应答；"
                  : bus.Lost()                      ? "通信已关闭；"
                  : failedRead.ends_with(kNotClean) ? "驱动器多次应答出错，读数不可靠，请重试；"
                                                    : "未能读取驱动器的 " + failedRead + "；";
      }
      // The connection sequence found it out; the restore's check needs it.
      if (read) read->facts.sensorLevels = s->state.SensorLevelSupported.load();
    }
    s->ui.PostDelayed(0, [done, read, failure] { done(read, failure); });
  });
}

bool RestoreLikeSave(Session& session, const ParameterFile& file, bool withNumber,
                     std::function<void(const RestoreOutcome&)> finished) {
  auto outcome = std::make_shared<RestoreOutcome>();
  ExclusiveWrites steps;
  // Both run inside RunLikeSave, while `file` is alive.
  steps.write = [&file, withNumber](const BusAccess& bus) { WriteParameters(bus, file, withNumber); };
  Session* s = &session;
  steps.store = [&file, withNumber, outcome, s](const BusAccess& bus) {
    *outcome = StoreAndVerify(bus, file, withNumber, kStoreSettleMs);
    if (outcome->newAddress) TakeRenumberedAddress(*s, *outcome->newAddress);
  };
  steps.afterReread = [outcome, finished = std::move(finished)] { finished(*outcome); };
  return RunLikeSave(session, steps);
}

std::string ChangeLine(const Difference& d, const DriveFacts& facts) {
  const std::string drive = d.drive ? Reading(d.parameter, *d.drive, facts) : "无法读取";
  return Caption(d.parameter) + drive + " → " + Reading(d.parameter, d.file, facts);
}

std::string RestoreOutcomeText(const RestoreOutcome& outcome, const DriveFacts& facts) {
  if (outcome.AllTook()) return "    文件中的参数已全部写入驱动器，读回核对无误；";
  std::string text = "    恢复未完全成功；";
  if (outcome.lost) text += "\r\n    通信已中断；";
  if (!outcome.stored) text += "\r\n    驱动器未确认保存命令；";
  for (const Difference& d : outcome.notTaken) {
    text += "\r\n    " + Caption(d.parameter) +
            (d.drive ? "驱动器中为 " + Reading(d.parameter, *d.drive, facts) + "，文件中为 " +
                           Reading(d.parameter, d.file, facts)
                     : "无法读回") +
            "；";
  }
  return text;
}

}  // namespace dd
