#!/usr/bin/env python3
"""Mutation check: applies deliberate faults to the code one at a time, rebuilds
incrementally, runs the tests and records which of them fail for each fault.

Each fault is one exact substitution whose anchor must occur exactly once in its file;
every anchor is checked before anything is built, and a missing or repeated one stops
the run. The file is restored after each fault, also on Ctrl-C or an error, and the
tree is rebuilt clean at the end. Tests whose executable was not relinked cannot see
the fault and are skipped (--all-tests runs every test each time).

Usage: bench/mutate.py [--build DIR] [--all-tests] [--first] [--list] [NAME...]
--first stops each fault's test run at its first failing test (enough to know the
fault is caught, and much faster).
Writes a table (fault -> failing tests) to DIR/mutate-results.md and prints it.
"""
import argparse
import json
import re
import os
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# name, file, anchor, replacement, what the fault stands for
MUTATIONS = [
    ("crc-skipped", "link/modbus_rtu.cpp",
     "if (!CheckCrc(reply.data(), reply.size())) return kBadCrc;",
     "if (false) return kBadCrc;",
     "a reply with a wrong CRC is taken"),
    ("register-address", "link/drive_commands.cpp",
     "return ReadInputU16(port, address, reg::kDriveCurrent, value);",
     "return ReadInputU16(port, address, reg::kMaxCurrent, value);",
     "the drive current is read from the maximum-current register"),
    ("purge-removed", "link/modbus_rtu.cpp",
     "pass for this one's.\n  TraceWaitingBytes(port);\n  PurgePort(port, true, true);\n", "pass for this one's.\n",
     "stale received bytes are not cleared before a request"),
    ("halves-up", "link/value_codec.cpp",
     "return std::fmod(floorValue, 2.0) == 0.0 ? floorValue : floorValue + 1.0;",
     "return floorValue + 1.0;",
     "halves round up instead of to even"),
    ("port-not-exclusive", "link/serial_port_posix.cpp",
     "  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(EBUSY, fd);\n", "",
     "a port held by another opener opens again"),
    ("bus-open-after-close", "app/shell_handlers.cpp",
     "  s.state.Bus.Close();\n", "",
     "the bus lock stays open after the window closed"),
    ("fatal-text", "params/connection_sequence.cpp",
     "获取到错误的速度系数，请重新启动程序！", "获取到错误的速度系数，请重新启动！",
     "a message text differs from the fixed one"),
    ("save-retry-short", "params/parameter_set.cpp",
     "constexpr int kWriteAttempts = 11;", "constexpr int kWriteAttempts = 10;",
     "one save attempt too few"),
    ("save-order", "params/save_parameters.cpp",
     "plan.push_back({source.write, value});",
     "plan.insert(plan.begin(), {source.write, value});",
     "parameters are written in the reverse order"),
    ("upper-bound-inclusive", "params/field_validation.cpp",
     "if (value > high) return UpperMessage(texts.upper);",
     "if (value >= high) return UpperMessage(texts.upper);",
     "a value equal to its upper bound is refused"),
    ("probe-not-restored", "params/parameter_restore.cpp",
     "  WriteWithSaveRetry(bus, ParameterWrite::SensorConfig, 0);\n  return true;",
     "  return true;",
     "the sensor-level probe value is left in the drive"),
    ("lamp-colour", "status/status_worker.cpp",
     "active ? kRed : kButtonFace", "active ? kGreen : kButtonFace",
     "an active input lamp shows green instead of red"),
    ("speed-conversion", "status/status_display.cpp",
     "static_cast<int64_t>(speedCoefficient) * 60000);",
     "static_cast<int64_t>(speedCoefficient) * 6000);",
     "the actual speed is converted with a wrong factor"),
    ("run-time-minutes", "status/status_display.cpp",
     "TwoDigits(rest % 3600 / 60)", "TwoDigits(rest / 60)",
     "the run time's minutes include the hours"),
    ("error-code-table", "status/error_codes.cpp",
     "{0x0413, \"反向堵转\"},", "{0x0431, \"反向堵转\"},",
     "one entry of the error-code table has a wrong code"),
    ("bus-lock-skipped", "status/drive_state_commands.cpp",
     "BusHold hold(session.state.Bus, kBusWaitMs);\n  if (!hold) return;\n  (void)SetZeroPosition",
     "(void)SetZeroPosition",
     "the set-zero worker uses the port without the bus lock"),
    ("homing-no-clear", "motion/homing.cpp",
     "Locked(wait, [&] { Send(ClearCommand); });\n    Fail(diagnostic);",
     "(void)wait;\n    Fail(diagnostic);",
     "a failed homing run leaves its jog or search command standing"),
    ("homing-offset-sign", "motion/homing.cpp",
     "const double target = from + static_cast<double>(turns) * perRev;",
     "const double target = from - static_cast<double>(turns) * perRev;",
     "the homing back-off goes the wrong way"),
    ("homing-early-stop", "motion/homing.cpp",
     "if (!st_.MotorMoving) return !Aborted();", "if (!st_.MotorMoving) return true;",
     "a stop clicked before polling saw the homing's last move lets the run set its zero"),
    ("sim-any-address", "sim/modbus_slave.cpp",
     "if (f[0] != slaveAddress && f[0] != 0) return false;",
     "if (f[0] != slaveAddress && f[0] != 0 && false) return false;",
     "the simulator answers requests for other slave addresses"),
    ("sensor-levels-unchecked", "params/parameter_file.cpp",
     "if (!drive.sensorLevels || *drive.sensorLevels == file.values[i].has_value()) return {};",
     "if (true) return {};",
     "a file's SensorConfig is not checked against the drive's sensor levels"),
    ("compare-number", "tools/drivectl.cpp",
     "dd::Differences(drive->values, file, dd::RestoredParameters(file, withNumber));",
     "dd::Differences(drive->values, file, dd::RestoredParameters(file, true));",
     "compare reports the drive number a restore keeps"),
    ("interrupt-ends-restore", "tools/drivectl.cpp",
     "  const InterruptsHeldOff heldOff;  // from the sensor probe's write on\n", "",
     "Ctrl-C ends a restore halfway through its writes"),
    ("backup-replaces-link", "params/parameter_file.cpp",
     "hops < 40 &&", "hops < 0 &&",
     "a backup over a symbolic link replaces the link"),
    ("link-lock-ignored", "link/port_lock_posix.cpp",
     "  if (std::string link = LinkLockFilePath(device); !link.empty()) paths.push_back(link);\n", "",
     "a port locked under its link's name (minicom -D on a COMn link) opens"),
    ("group-advice-always", "link/port_facts.h",
     "bool GroupMayOpen() const { return (mode & 060) == 060; }",
     "bool GroupMayOpen() const { return true; }",
     "joining the group is advised for a device only its owner may open"),
    ("search-other-address-taken", "link/bus_probe.cpp",
     "} else if (reply[0] != address) {", "} else if (false) {",
     "a search takes a late reply of another drive as the answer of the address it asks"),
    ("search-late-not-asked-again", "app/drive_search.cpp",
     "later.push_back(from);", "(void)from;",
     "a drive whose reply came late is not asked again, and the search misses it"),
    ("search-cancel-ignored", "app/drive_search.cpp",
     "      if (cancel_.load()) return false;\n      progress_.address = address;",
     "      progress_.address = address;",
     "a cancelled search goes on to its end"),
    ("sim-bus-any-rate", "sim/sim_drive.cpp",
     "return !checkLine || (ls.baud == baud && !ls.oddParity);",
     "return baud != 0 || (checkLine && !ls.oddParity);",
     "a simulated drive answers at line speeds it does not use"),
    ("renumber-not-followed", "params/save_parameters.cpp",
     "if (*newNumber && AnsweringAddress(bus, **newNumber) == **newNumber) {", "if (false) {",
     "after a save gives the drive a new number the program keeps the old address"),
    ("silent-drive-waited-for", "app/session.cpp",
     "    if (st.DriveSilent.load()) st.MotionAbandoned = true;\n", "",
     "a close or a save waits for ever for a move on a drive that went silent"),
    ("silent-drive-keeps-port", "app/shell_handlers.cpp",
     "if (axisBusy && !s.state.DriveSilent) {", "if (axisBusy) {",
     "\"关闭通信\" is refused for ever after the drive fell silent during a move"),
    ("log-units-lost", "app/bus_log.cpp",
     "  r.units = units_;\n", "",
     "the log shows values without the form's units, or in units that came after them"),
    ("save-stops-healthy-move", "params/save_parameters.cpp",
     "if ((!st.DriveHealthy.load() || st.JogHeld.load()) && MotionRunning(s_))",
     "if (MotionRunning(s_))",
     "a save clicked just after a move stops the move on a healthy drive"),
    ("second-shutdown", "app/orderly_shutdown.cpp",
     "  if (session.state.WindowClosed.load()) return;\n", "",
     "the orderly end runs the window's close a second time"),
    ("compare-while-moving", "ui/parameter_file_flow.cpp",
     "void ParameterFileFlow::Compare() {\n  if (!ParameterFileActionsAvailable(session_) || RefuseWhileAxisBusy(session_)) return;",
     "void ParameterFileFlow::Compare() {\n  if (!ParameterFileActionsAvailable(session_)) return;",
     "a comparison reads the drive while a homing run is active"),
    ("parameter-read-holds-bus", "params/parameter_file_actions.cpp",
     "bus.lock = &s->state.Bus;", "BusHold whole(s->state.Bus, kBusWaitMs);",
     "a backup or comparison holds the bus for its whole read: polling waits"),
    ("restore-while-moving", "tools/drivectl.cpp",
     "if (speed != 0) {", "if (false) {",
     "drivectl restore writes parameters while the axis moves"),
    ("stop-waits-for-guard", "link/modbus_rtu.cpp",
     "if (h.awaitingLate && !same && guardRole != GuardRole::Skip) {",
     "if (h.awaitingLate && !same) {",
     "a stop after a time-out waits for the late-reply guard"),
    ("retry-reply-unguarded", "link/modbus_rtu.cpp",
     "h.quietUntil = std::max(h.quietUntil, Clock::now() + kLateReplyGuard);",
     "(void)0;",
     "a retry answered by the earlier attempt's late reply leaves its own reply unguarded"),
    ("back-off-blames-offset", "motion/homing.cpp",
     "if (!RevolutionMove(-1, lockWait_)) return Fail(HomingDiagnostic::BackOffOutOfRange);",
     "if (!RevolutionMove(-1, lockWait_)) return Fail(HomingDiagnostic::TargetOutOfRange);",
     "a back-off that cannot be sent blames the offset setting"),
    ("view-switch-size", "ui/view_switch.h",
     "full ? kFullOuterWidth : kCompactOuterWidth", "full ? kCompactOuterWidth : kFullOuterWidth",
     "the view switch gives each view the other's width"),
    ("late-reply-unlogged", "link/modbus_rtu.cpp",
     "    if (n <= 0) return;\n    TraceUnasked(", "    if (n <= 0) return;\n    if (false) TraceUnasked(",
     "bytes waiting before a request are thrown away without a LateReply line"),
    ("exception-not-decoded", "app/bus_log_format.cpp",
     'if (ExceptionCode(record.Request(), record.Reply())) return "Exception";', "",
     "an exception reply is logged as a short reply"),
    ("port-error-every-time", "app/bus_log.cpp",
     "if (portError && portDown_) {", "if (portError && portDown_ && false) {",
     "a port that refuses writes is logged at every request"),
    ("log-in-utc", "app/clock_text.cpp",
     "  localtime_r(&seconds, &local);", "  gmtime_r(&seconds, &local);",
     "the log's and the CSV's times are UTC, not local"),
    ("sim-reply-overtakes-split", "sim/sim_drive.cpp",
     "    if (!out.empty()) at = std::max(at, out.back().at);\n", "",
     "the simulator sends a reply before the rest of a split one"),
    ("log-rate-frozen-paused", "ui/qt/bus_log_window.cpp",
     "  tally_.Lost(log_.ReadFrom(cursor_, taken, kMaxRecords));",
     "  if (!paused_) tally_.Lost(log_.ReadFrom(cursor_, taken, kMaxRecords));",
     "the paused log window stops counting the polling rate"),
    ("log-failures-english", "ui/bus_log_view.cpp",
     '{"Timeout", "超时"}', '{"Timeout", "Timeout"}',
     "the log window names a time-out in English"),
    ("curve-no-gap", "status/curve_decimation.cpp",
     "if (e.gapBefore && !out.empty())", "if (false)",
     "the curves draw a line across failed reads and silence"),
    ("restore-unchecked", "ui/parameter_file_flow.cpp",
     "    if (!read) {\n      s->Message(MessageIcon::Error, kRestoreTitle, \"    驱动器无应答",
     "    if (!read && false) {\n      s->Message(MessageIcon::Error, kRestoreTitle, \"    驱动器无应答",
     "a restore disables the panels on a drive that no longer answers"),
    # The Win32 window: caught by windows_window (run with --build build-win).
    ("win32-press-unchecked", "ui/win32/form_widgets.cpp",
     "    if (!MayLeaveFocusedField(hwnd)) {", "    if (false) {",
     "a click leaves a text field that fails its check"),
    ("win32-jog-release-lost", "ui/win32/form_widgets.cpp",
     "    if (isButton) session_.events.Dispatch(id, UiEvent::MouseUp, ButtonNumber(msg));\n", "",
     "releasing a held jog button does not stop the jog"),
    ("win32-panels-behind", "ui/win32/form_widgets.cpp",
     "      ::SetWindowPos(panel, HWND_TOP,", "      ::SetWindowPos(panel, HWND_BOTTOM,",
     "the motion panel is drawn behind the parameter panel"),
    ("win32-dpi-ignored", "ui/win32/form_widgets.cpp",
     "  dpi_ = dpi;\n  for (auto& [id, entry] : entries_) {", "  for (auto& [id, entry] : entries_) {",
     "controls keep their pixels when the monitor's DPI changes"),
    ("win32-address-menu-while-open", "ui/win32/drive_search_dialog.cpp",
     "const UINT state = DriveAddressChangeable(*s) ? MF_ENABLED : MF_GRAYED;", "const UINT state = MF_ENABLED;",
     "the address and search items stay usable while communication is open"),
    ("search-dialog-wrong-rate", "ui/drive_search_view.cpp",
     "plan.bauds = {kSearchBaudRates[baudChoice - 1]};", "plan.bauds = {kSearchBaudRates[baudChoice % 6]};",
     "the search dialogs search at another rate than the one chosen"),
    ("win32-title-ignored", "ui/win32/form_widgets.cpp",
     "if (!state.text.empty() && WindowTextUtf8(root_) != state.text)", "if (false)",
     "the Win32 window's title does not show the drive's address"),
    ("search-refused-parity-skips-rate", "app/drive_search.cpp",
     "if (!ConfigurePort(handle, baud, 8, 0, 2, 26) && PortBaudRate(handle) != baud) {",
     "if (!ConfigurePort(handle, baud, 8, 0, 2, 26)) {",
     "a port that takes the rate but not the parity (Wine) is not searched at that rate"),
    # The Win32 tool windows (bench/mutate.py --build build-win).
    ("log-polling-shown", "ui/bus_log_view.cpp",
     "if (hidePolling && IsPollingRead(r)) return false;", "if (false) return false;",
     "the log window shows the polling reads although they are to be hidden"),
    ("log-overwritten-rows-kept", "ui/win32/bus_log_window.cpp",
     "w.rows.front().sequence < oldest", "w.rows.front().sequence + 1000 < oldest",
     "the log window keeps rows whose records the ring has overwritten"),
    ("curves-csv-whole-history", "ui/curve_view.cpp",
     "return SamplesCsv(history_->Between(from_, to_), history_->WallAt(0));",
     "return SamplesCsv(history_->Between(from_ - 1e9, to_), history_->WallAt(0));",
     "the curves' CSV export writes more than the visible span"),
    ("curves-pause-ignored", "ui/curve_view.cpp",
     "void CurveView::Refresh(int columns) {\n  if (paused_) return;", "void CurveView::Refresh(int columns) {",
     "the paused curves scroll on"),
]


def fail(message):
    print("mutate: " + message, file=sys.stderr)
    sys.exit(2)


def read(path):
    with open(os.path.join(ROOT, path), encoding="utf-8") as f:
        return f.read()


def write(path, text):
    with open(os.path.join(ROOT, path), "w", encoding="utf-8") as f:
        f.write(text)


def check_anchors(chosen):
    bad = []
    for name, path, anchor, replacement, _ in chosen:
        if not os.path.exists(os.path.join(ROOT, path)):
            bad.append(f"{name}: file {path} is missing")
            continue
        count = read(path).count(anchor)
        if count != 1:
            bad.append(f"{name}: anchor found {count} times in {path}: {anchor!r}")
        if anchor == replacement:
            bad.append(f"{name}: replacement equals the anchor")
    if bad:
        fail("anchors do not match exactly once, nothing was changed:\n  " + "\n  ".join(bad))


def run(cmd, **kw):
    return subprocess.run(cmd, text=True, capture_output=True, **kw)


def build(build_dir):
    return run(["ninja", "-C", build_dir, "-j2"])


# Set-up and clean-up tests (the Wine prefix): ctest adds them to any run that needs them.
FIXTURE_TESTS = set()


def test_executables(build_dir):
    """test name -> (test number, executable path), as ctest runs them."""
    out = run(["ctest", "--show-only=json-v1"], cwd=build_dir)
    if out.returncode != 0:
        fail("ctest --show-only failed:\n" + out.stderr)
    tests = {}
    FIXTURE_TESTS.clear()
    for number, t in enumerate(json.loads(out.stdout).get("tests", []), start=1):
        properties = {p.get("name") for p in t.get("properties", [])}
        if properties & {"FIXTURES_SETUP", "FIXTURES_CLEANUP"}:
            FIXTURE_TESTS.add(t["name"])
        command = t.get("command") or []
        # A Windows test runs its executable through wine (and helpers): that one counts.
        exes = [c for c in command if c.endswith(".exe")]
        tests[t["name"]] = (number, exes[0] if exes else command[0] if command else "")
    return tests


def mtimes(paths):
    return {p: os.path.getmtime(p) if os.path.exists(p) else 0.0 for p in set(paths)}


def run_tests(build_dir, numbers, first):
    failed_log = os.path.join(build_dir, "Testing", "Temporary", "LastTestsFailed.log")
    if os.path.exists(failed_log):
        os.remove(failed_log)
    if first:
        # Without cost data ctest runs in declaration order: the quick unit tests of the
        # lower layers come before the long scenarios, so a caught fault stops early.
        cost = os.path.join(build_dir, "Testing", "Temporary", "CTestCostData.txt")
        if os.path.exists(cost):
            os.remove(cost)
    # By number: ctest's regular expressions do not take hundreds of alternatives.
    chosen = "0,0,0," + ",".join(str(n) for n in sorted(numbers))
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", DRIVEDESK_PORT_DEFAULTS="0")
    cmd = ["ctest", "-j2", "--timeout", "120", "-I", chosen] + (["--stop-on-failure"] if first else [])
    out = run(cmd, cwd=build_dir, env=env)
    ran_numbers = {int(n) for n in re.findall(r"Test +#(\d+):", out.stdout)}
    missing = set(numbers) - ran_numbers
    if not re.search(r"tests failed out of \d+", out.stdout) or (missing and not (first and out.returncode != 0)):
        # A suite that did not run must not pass for a fault nobody caught.
        fail(f"ctest ran {len(ran_numbers & set(numbers))} of {len(numbers)} tests:\n{out.stdout[-3000:]}{out.stderr[-2000:]}")
    failed = []
    if os.path.exists(failed_log):
        with open(failed_log) as f:
            # "12:Suite.name  # GetParam() = ..." -> "Suite.name"
            failed = [line.split(":", 1)[1].split("  #")[0].strip() for line in f if ":" in line]
    broken = [name for name in failed if name in FIXTURE_TESTS]
    if broken:
        fail("a set-up test failed, the suite proves nothing: " + ", ".join(broken) + "\n" + out.stdout[-3000:])
    return failed, out.stdout


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--all-tests", action="store_true")
    parser.add_argument("--first", action="store_true")
    parser.add_argument("--list", action="store_true")
    parser.add_argument("names", nargs="*")
    args = parser.parse_args()

    known = {m[0] for m in MUTATIONS}
    unknown = [n for n in args.names if n not in known]
    if unknown:
        fail("unknown faults: " + ", ".join(unknown))
    chosen = [m for m in MUTATIONS if not args.names or m[0] in args.names]
    if args.list:
        for name, path, _, _, what in chosen:
            print(f"{name:24} {path:34} {what}")
        return 0
    check_anchors(chosen)
    build_dir = os.path.abspath(args.build)
    if build(build_dir).returncode != 0:
        fail("the unchanged tree does not build")
    tests = test_executables(build_dir)

    # Restore the file on Ctrl-C and termination too.
    current = {}

    def restore(*_):
        for path, text in current.items():
            write(path, text)
        current.clear()

    def interrupted(signum, _frame):
        restore()
        build(build_dir)
        sys.exit(128 + signum)

    signal.signal(signal.SIGINT, interrupted)
    signal.signal(signal.SIGTERM, interrupted)

    results = []
    try:
        for name, path, anchor, replacement, what in chosen:
            original = read(path)
            current[path] = original
            write(path, original.replace(anchor, replacement, 1))
            before = mtimes(exe for _, exe in tests.values())
            started = time.time()
            built = build(build_dir)
            if built.returncode != 0:
                restore()
                results.append((name, what, None, "does not build"))
                print(f"{name}: DOES NOT BUILD\n{built.stdout[-2000:]}", flush=True)
                continue
            after = mtimes(exe for _, exe in tests.values())
            changed = {p for p in after if after[p] != before[p]}
            numbers = [n for n, exe in tests.values() if args.all_tests or exe in changed]
            failed, _ = run_tests(build_dir, numbers, args.first) if numbers else ([], "")
            restore()
            seconds = time.time() - started
            results.append((name, what, failed, f"{len(numbers)} run, {seconds:.0f} s"))
            verdict = "caught by " + ", ".join(failed) if failed else "NOT CAUGHT"
            print(f"{name}: {verdict} ({len(numbers)} tests run, {seconds:.0f} s)", flush=True)
    finally:
        restore()
        build(build_dir)

    lines = ["| fault | what it breaks | failing tests |", "|---|---|---|"]
    for name, what, failed, note in results:
        if failed is None:
            cell = "**does not build**"
        elif failed:
            cell = ", ".join(failed)
        else:
            cell = f"**not caught** ({note})"
        lines.append(f"| {name} | {what} | {cell} |")
    caught = sum(1 for r in results if r[2])
    lines.append("")
    lines.append(f"{caught} of {len(results)} faults caught.")
    table = "\n".join(lines)
    with open(os.path.join(build_dir, "mutate-results.md"), "w", encoding="utf-8") as f:
        f.write(table + "\n")
    print(table)
    return 0 if caught == len(results) else 1


if __name__ == "__main__":
    sys.exit(main())
