// drivedesk with a scripted operator, for tests that end the real program from
// outside: picks 115200 baud, connects to the first port, holds a jog button down
// and prints "jogging" once the polled speed shows the axis moving.
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "app/session.h"
#include "ui/qt/main_window.h"
#include "ui/qt/program_main.h"

int main(int argc, char* argv[]) {
  return dd::RunProgram(argc, argv, dd::ParseProgramOptions(argc, argv), [](dd::Session& session, dd::MainWindow& window) {
    auto* bauds = qobject_cast<QComboBox*>(window.Widget(dd::Control::BaudList));
    bauds->setCurrentIndex(bauds->findText("115200"));
    Q_EMIT bauds->activated(bauds->currentIndex());
    // One step at a time, as each becomes possible (the window shows changes at a
    // screen's rate).
    auto* step = new QTimer(&window);
    QObject::connect(step, &QTimer::timeout, &window, [&session, &window, step] {
      QWidget* connect = window.Widget(dd::Control::OpenCloseButton);
      // The input word is the last value of a polling cycle: then the limits are known.
      auto* inputs = qobject_cast<QLineEdit*>(window.Widget(dd::Control::PortStatusField));
      if (!session.Connected()) {
        if (connect->isEnabled()) QTest::mouseClick(connect, Qt::LeftButton);
      } else if (!session.state.JogHeld) {
        if (window.Widget(dd::Control::JogFrame)->isEnabled() && !inputs->text().isEmpty()) {
          // Away from the motor, unless a former run left the axis on that limit.
          const dd::Control jog = session.state.FarLimitInput ? dd::Control::JogTowardButton : dd::Control::JogAwayButton;
          QTest::mousePress(window.Widget(jog), Qt::LeftButton);
        }
      } else if (session.state.MotorMoving) {
        std::puts("jogging");
        std::fflush(stdout);
        step->stop();
      }
    });
    step->start(20);
  });
}
