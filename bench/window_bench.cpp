// The real window, offscreen, against drivesim running in another process: time from
// the start of the process to the window shown (port discovery included), time from the
// click on "开启通信" to the panels enabled, then CPU, memory and the UI thread's
// responsiveness while polling. Built from the same pieces as drivedesk's main().
//   bench_window [--seconds S] [--com N] [--baud B] [--probe-ms MS (0: no clicks)]
//                [--moving-drive] [--log FILE] [--log-window] [--curves [--open-seconds S]]
// Run by bench/process.sh, which starts drivesim and sets the port directory. With
// --moving-drive it serves COMn itself from an instant simulated drive whose axis is
// moved every millisecond, so every polled value changes all the time: the display
// updates must be coalesced and clicks still handled at once. --log and --log-window turn
// on the communication log's file (as drivedesk --log) and open its window once connected.
// With --curves it measures twice in the same run, first with the "实时曲线" window
// closed, then open.
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QTimer>
#include <QMetaObject>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/session.h"
#include "app/bus_log.h"
#include "app/bus_log_file.h"
#include "ui/qt/bus_log_window.h"
#include "sim/sim_drive.h"
#include "tests/robustness/fault_soak.h"
#include "status/sample_history.h"
#include "ui/qt/control_mirror.h"
#include "ui/qt/curves_window.h"
#include "ui/qt/main_window.h"
#include "ui/qt/program_setup.h"
#include "ui/qt/qt_ui_services.h"
#include "ui/qt/ui_fonts.h"
#include "ui/window_layout.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Milliseconds since the kernel started this process (10 ms resolution).
double ProcessAgeMs() {
  std::ifstream stat("/proc/self/stat");
  std::string line;
  std::getline(stat, line);
  std::istringstream rest(line.substr(line.rfind(')') + 2));
  std::string field;
  for (int i = 3; i <= 22 && rest >> field; ++i) {
  }
  const double startTicks = std::atof(field.c_str());
  timespec boot{};
  clock_gettime(CLOCK_BOOTTIME, &boot);
  const double nowMs = static_cast<double>(boot.tv_sec) * 1000.0 + static_cast<double>(boot.tv_nsec) / 1e6;
  return nowMs - startTicks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// The program's own event loop (QTest::qWait sleeps in 10 ms steps between passes).
void RunEventLoop(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

}  // namespace

int main(int argc, char* argv[]) {
  const double startAgeMs = ProcessAgeMs();
  const auto mainStart = Clock::now();
  double seconds = 30;
  int com = 1;
  int baud = 115200;
  int probeMs = 50;
  bool moving = false;
  std::string logPath;
  bool logWindow = false;
  bool curves = false;
  double openSeconds = 0;  // with --curves: the open period, if not --seconds
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--seconds" && i + 1 < argc) seconds = std::atof(argv[++i]);
    else if (a == "--com" && i + 1 < argc) com = std::atoi(argv[++i]);
    else if (a == "--baud" && i + 1 < argc) baud = std::atoi(argv[++i]);
    else if (a == "--probe-ms" && i + 1 < argc) probeMs = std::atoi(argv[++i]);
    else if (a == "--moving-drive") moving = true;
    else if (a == "--log" && i + 1 < argc) logPath = argv[++i];
    else if (a == "--log-window") logWindow = true;
    else if (a == "--curves") curves = true;
    else if (a == "--open-seconds" && i + 1 < argc) openSeconds = std::atof(argv[++i]);
  }
  std::unique_ptr<dd::test::PortDirectory> ports;
  std::unique_ptr<dd::SimDrive> sim;
  std::atomic<bool> moverRuns{true};
  std::thread mover;
  if (moving) {
    dd::SimConfig config;
    config.lineBaud = static_cast<uint32_t>(baud);
    config.wireRealism = false;
    ports = std::make_unique<dd::test::PortDirectory>();
    sim = std::make_unique<dd::SimDrive>(config);
    if (!sim->Start() || !sim->LinkAsCom(com)) {
      std::fprintf(stderr, "bench_window: simulated drive did not start\n");
      return 1;
    }
    mover = std::thread([&] {
      for (int step = 0; moverRuns; ++step) {
        sim->SetTruePosition(step % 4000);
        sim->SetErrorCode(static_cast<uint16_t>(step % 2 ? 0 : 4660));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
  }

  // As drivedesk does; the log's count of transactions gives the polling rate without the
  // drive's log.
  dd::AttachBusLog();
  std::unique_ptr<dd::BusLogFile> logFile;
  if (!logPath.empty()) {
    std::string error;
    logFile = dd::BusLogFile::Open(dd::ProgramBusLog(), logPath, error);
    if (!logFile) {
      std::fprintf(stderr, "bench_window: %s\n", error.c_str());
      return 1;
    }
  }

  QApplication app(argc, argv);
  dd::InstallFontSubstitutes();
  QApplication::setFont(dd::WindowFont());
  dd::QtUiServices services;
  std::vector<std::string> messages;
  services.SetPresenter([&](dd::MessageIcon, const std::string& title, const std::string& text) {
    messages.push_back(title + ": " + text);
  });
  services.SetQuitter([&](int code) { std::fprintf(stderr, "bench_window: program ended (%d)\n", code); });
  dd::Session session(services);
  dd::DefineControls(session.controls);
  dd::MainWindow window(session);
  dd::LoadProgram(session, services, window);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window, 10000)) {
    std::fprintf(stderr, "bench_window: window not shown\n");
    return 1;
  }
  const double shownMs = Ms(Clock::now() - mainStart);

  // Pick the port and the baud rate as the operator does, then click the connect button.
  auto pick = [&](dd::Control name, const std::string& text) {
    auto* combo = qobject_cast<QComboBox*>(window.Widget(name));
    const int index = combo ? combo->findText(QString::fromStdString(text)) : -1;
    if (index < 0) return false;
    combo->setCurrentIndex(index);
    Q_EMIT combo->activated(index);
    return true;
  };
  if (!pick(dd::Control::PortList, "COM" + std::to_string(com)) || !pick(dd::Control::BaudList, std::to_string(baud))) {
    std::fprintf(stderr, "bench_window: COM%d or %d not in the lists\n", com, baud);
    return 1;
  }
  auto* connect = qobject_cast<QAbstractButton*>(window.Widget(dd::Control::OpenCloseButton));
  QWidget* panel = window.Widget(dd::Control::MotionPanel);
  if (!QTest::qWaitFor([&] { return connect->isEnabled(); }, 5000)) {
    std::fprintf(stderr, "bench_window: connect button stays disabled\n");
    return 1;
  }
  const auto clickAt = Clock::now();
  QTest::mouseClick(connect, Qt::LeftButton);
  if (!QTest::qWaitFor([&] { return panel->isEnabled(); }, 20000)) {
    std::fprintf(stderr, "bench_window: panels not enabled\n");
    for (const auto& m : messages) std::fprintf(stderr, "  %s\n", m.c_str());
    return 1;
  }
  const double connectMs = Ms(Clock::now() - clickAt);
  if (logWindow) dd::BusLogWindow::ShowFor(&window);
  QTest::qWait(500);

  // Probe: a click posted from another thread every probeMs onto "置零"; the time until
  // the button reports it is what an operator would wait.
  auto* probeButton = qobject_cast<QAbstractButton*>(window.Widget(dd::Control::SetZeroButton));
  std::mutex probeMutex;
  std::vector<double> latencies;
  Clock::time_point postedAt{};
  QObject::connect(probeButton, &QAbstractButton::clicked, [&] {
    std::lock_guard lock(probeMutex);
    if (postedAt != Clock::time_point{}) latencies.push_back(Ms(Clock::now() - postedAt));
    postedAt = {};
  });
  std::atomic<bool> probing{true};
  std::thread prober([&] {
    while (probing && probeMs > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(probeMs));
      {
        std::lock_guard lock(probeMutex);
        if (postedAt != Clock::time_point{}) continue;  // the last one is still queued
        postedAt = Clock::now();
      }
      const QPointF at(probeButton->width() / 2.0, probeButton->height() / 2.0);
      const QPointF global = at;
      QCoreApplication::postEvent(probeButton, new QMouseEvent(QEvent::MouseButtonPress, at, global,
                                                               Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
      QCoreApplication::postEvent(probeButton, new QMouseEvent(QEvent::MouseButtonRelease, at, global,
                                                               Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    }
  });

  // One measuring period: polling rate, display batches, CPU of the process and of
  // the UI thread.
  auto measure = [&](const char* label, double periodSeconds) {
    const double cpuBefore = CpuSeconds();
    const double uiCpuBefore = ThreadCpuSeconds();
    const uint64_t framesBefore = dd::ProgramBusLog().End();
    const int batchesBefore = window.Mirror().Batches();
    const auto pollStart = Clock::now();
    RunEventLoop(static_cast<int>(periodSeconds * 1000));
    const double wall = std::chrono::duration<double>(Clock::now() - pollStart).count();
    const double cpu = CpuSeconds() - cpuBefore;
    const double uiCpu = ThreadCpuSeconds() - uiCpuBefore;
    const uint64_t frames = dd::ProgramBusLog().End() - framesBefore;
    const int batches = window.Mirror().Batches() - batchesBefore;
    std::printf("%spolling: %.1f s, %.2f cycles/s (%.0f frames sent), %.1f display batches/s\n", label,
                wall, static_cast<double>(frames) / 9.0 / wall, static_cast<double>(frames),
                batches / wall);
    std::printf("%scpu: %.2f %% of one core (%.3f s cpu in %.1f s); UI thread alone %.2f %%\n", label,
                100.0 * cpu / wall, cpu, wall, 100.0 * uiCpu / wall);
  };
  if (curves) {
    // Same run: first with the plot closed, then open on its shortest span (the most
    // redrawing), every curve shown.
    measure("[curves closed] ", seconds);
    window.ShowCurves();
    if (!QTest::qWaitForWindowExposed(window.Curves(), 10000)) {
      std::fprintf(stderr, "bench_window: curves window not shown\n");
      return 1;
    }
    measure("[curves open] ", openSeconds > 0 ? openSeconds : seconds);
    std::printf("curves: %zu samples held (capacity %zu), %d points drawn per curve\n",
                session.samples->Size(), session.samples->Capacity(),
                window.Curves()->PointsDrawn(dd::Quantity::ActualPosition));
  } else {
    measure("", seconds);
  }
  probing = false;
  prober.join();
  QTest::qWait(100);

  const auto closeAt = Clock::now();
  window.close();
  const double closeMs = Ms(Clock::now() - closeAt);
  std::vector<double> lat;
  {
    std::lock_guard lock(probeMutex);
    lat = latencies;
  }

  std::printf("start-up: process start -> window shown %.1f ms (main -> shown %.1f ms, %.1f ms before main)\n",
              startAgeMs + shownMs, shownMs, startAgeMs);
  std::printf("connect: click -> panels enabled %.1f ms\n", connectMs);
  std::printf("memory: peak RSS %.1f MB\n", static_cast<double>(PeakRssKb()) / 1024.0);
  std::printf("clicks: %zu handled, latency median %.2f ms, p99 %.2f ms, max %.2f ms\n", lat.size(),
              Percentile(lat, 0.5), Percentile(lat, 0.99), lat.empty() ? 0.0 : *std::max_element(lat.begin(), lat.end()));
  std::printf("close: %.1f ms, workers after close %d\n", closeMs, session.state.WorkerCount.load());
  for (const auto& m : messages) std::printf("message: %s\n", m.c_str());
  if (logFile) logFile->Stop();
  moverRuns = false;
  if (mover.joinable()) mover.join();
  return 0;
}
