#include "params/parameter_handlers.h"

#include "app/control_names.h"
#include "params/connection_sequence.h"
#include "params/field_table.h"
#include "params/save_parameters.h"

namespace dd {

FieldBounds CurrentFieldBounds(const Session& session) {
  FieldBounds b;
  b.maxCurrent = session.state.MaxCurrent.load();
  b.minCurrent = session.state.MinCurrent.load();
  b.speedCoefficient = session.state.SpeedCoefficient.load();
  b.pulsesPerRev = session.state.PulsesPerRev.load();
  b.pulsesPerRevText = session.controls.Text(Text2(10));
  return b;
}

void InstallParameterHandlers(Session& session) {
  Session* s = &session;
  s->ConnectionSequence = [s] { RunConnectionSequence(*s); };
  for (const FieldSpec& f : FieldTable()) {
    const int index = f.index;
    const std::string name = Text2(index);
    s->events.SetKeyFilter(name, [s, index](char32_t key) {
      return KeepFieldKey(index, key, s->Connected());
    });
    s->events.SetValidator(name, [s, index, name] {
      const auto message = ValidateField(index, s->controls.Text(name), CurrentFieldBounds(*s));
      if (!message) return true;
      s->Message(MessageIcon::Error, kInputTitle, *message);
      return false;
    });
  }
  s->events.On("Command3", UiEvent::Click, [s](int) { SaveParameterSet(*s); });
}

}  // namespace dd
