#include "params/parameter_handlers.h"

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
  b.pulsesPerRevText = session.controls.Text(Control::PulsesPerRevField);
  return b;
}

void InstallParameterHandlers(Session& session) {
  Session* s = &session;
  s->ConnectionSequence = [s] { RunConnectionSequence(*s); };
  for (const FieldSpec& f : FieldTable()) {
    const Control field = f.field;
    s->events.SetKeyFilter(field, [s, field](char32_t key) {
      return KeepFieldKey(field, key, s->Connected());
    });
    s->events.SetValidator(field, [s, field] {
      const auto message = ValidateField(field, s->controls.Text(field), CurrentFieldBounds(*s));
      if (!message) return true;
      s->Message(MessageIcon::Error, kInputTitle, *message);
      return false;
    });
  }
  s->events.On(Control::SaveButton, UiEvent::Click, [s](int) { SaveParameterSet(*s); });
}

}  // namespace dd
