#!/usr/bin/python3
"""What a screen reader gets from zqmanager through AT-SPI.

Runs the program on the display and session bus it is given (ctest starts
it under dbus-run-session and xvfb-run), exports the empty document through
the tool bar's "Экспорт в Excel" where no program opens .xlsx files, and
checks, as Orca would read them:
  - the status bar's text label is named by the whole status text, however
    long, and its change is announced (a name change of the label);
  - the window keeps its width, the label its place inside it;
  - the box that says no program opened the workbook names the file;
  - the exchange log's line count label is named by its text;
  - "Приборы" (from its tool-bar button) is a window of that name whose
    buttons are named, those enabled with an Alt key, whose table, group box
    and search field are named, and
    (with ZQCLI given, which reads one meter that fails before the window
    starts) whose table reads that meter's failure in words.
Exit status 0 when all hold, 1 when one does not, 77 (skipped) without the
AT-SPI Python bindings.

    screen_reader_check.py ZQMANAGER [ZQCLI]
"""
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time

try:
    import gi

    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi, GLib
except (ImportError, ValueError) as error:
    print(f"skipped: no AT-SPI bindings ({error})")
    sys.exit(77)

STATUS_LEAD = "Книга записана: "
failures = []


def check(condition, text):
    print(("ok   " if condition else "FAIL ") + text)
    if not condition:
        failures.append(text)


def pump(seconds, until=lambda: False):
    """Runs the event loop that delivers AT-SPI events until `until` holds."""
    context = GLib.MainContext.default()
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        while context.pending():
            context.iteration(False)
        if until():
            return True
        time.sleep(0.02)
    return until()


def children(node):
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            yield child


def find(node, role, name=None, depth=12):
    """The first node of `role` (and `name`, or a name for which it is true)."""
    if depth < 0:
        return None
    try:
        if node.get_role_name() == role:
            node_name = node.get_name()
            if name is None or (name(node_name) if callable(name) else node_name == name):
                return node
        for child in children(node):
            found = find(child, role, name, depth - 1)
            if found is not None:
                return found
    except GLib.Error:
        pass
    return None


def application():
    desktop = Atspi.get_desktop(0)
    for app in children(desktop):
        if app.get_name() == "zqmanager":
            return app
    return None


def main():
    program = os.path.abspath(sys.argv[1])
    zqcli = os.path.abspath(sys.argv[2]) if len(sys.argv) > 2 else None
    work = tempfile.mkdtemp(prefix="zq-screen-reader-")
    # A long home folder: the status text is longer than the status bar.
    home = os.path.join(work, "home-" + "x" * 100)
    bin_dir = os.path.join(work, "bin")
    os.makedirs(home)
    os.makedirs(bin_dir)
    # The desktop's launcher where no program is registered for .xlsx.
    launcher = os.path.join(bin_dir, "xdg-open")
    with open(launcher, "w") as f:
        f.write("#!/bin/sh\necho \"xdg-open: no method available for opening '$1'\" >&2\nexit 3\n")
    os.chmod(launcher, 0o755)
    env = dict(
        os.environ,
        HOME=home,
        XDG_CONFIG_HOME=os.path.join(home, ".config"),
        PATH=bin_dir + ":" + os.environ.get("PATH", "/usr/bin:/bin"),
        LANG="C.UTF-8",
        QT_QPA_PLATFORM="xcb",
        QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
        ZQ_FLEET_DB=os.path.join(work, "fleet.sqlite"),
    )
    if zqcli:
        # A meter whose address refuses every call, read once: it failed.
        for command in (["add", "Мёртвый", "--tcp", "127.0.0.1:9"], ["round"]):
            subprocess.run([zqcli, "fleet"] + command, env=env, capture_output=True)
    program_run = subprocess.Popen([program], env=env)
    try:
        run(home, zqcli is not None)
    finally:
        program_run.terminate()
        program_run.wait(10)
        shutil.rmtree(work, ignore_errors=True)


def check_meters(app, frame, failed_meter):
    """The "Приборы" window as a screen reader meets it."""
    button = find(frame, "push button", "Приборы")
    check(button is not None, 'the tool bar has "Приборы"')
    if button is None:
        return
    button.do_action(0)
    window = None

    def shown():
        nonlocal window
        window = next((w for w in children(app) if w.get_name() == "Приборы"), None)
        return window is not None

    check(pump(20, shown), 'a window named "Приборы" opens')
    if window is None:
        return
    check(window.get_role_name() == "frame", f"it is a window ({window.get_role_name()})")
    for name in ("Добавить...", "Изменить...", "Удалить", "Импорт архивов...",
                 "Открыть историю", "Отчёт о потреблении...", "Опросить", "Остановить",
                 "База данных..."):
        node = find(window, "push button", name)
        check(node is not None, f'the button "{name}" is named')
        if node is not None and node.get_state_set().contains(Atspi.StateType.ENABLED):
            binding = node.get_action_iface().get_key_binding(0)
            check(binding.startswith("Alt+"), f'"{name}" has an Alt key ({binding!r})')
    check(find(window, "table", "Приборы") is not None, 'the table is named "Приборы"')
    check(find(window, "text", "Поиск") is not None, 'the search field is named "Поиск"')
    check(find(window, "label", "Группа") is not None, 'the group box has its label "Группа"')
    if failed_meter:
        cell = find(window, "table cell",
                    lambda name: name is not None and name.startswith("Ошибка: "))
        check(cell is not None, "the failed meter's outcome is read in words")


def run(home, failed_meter):
    app = None
    if not pump(20, lambda: application() is not None):
        check(False, "zqmanager appears on the accessibility bus")
        return
    app = application()
    frame = find(app, "frame", "ZQ Менеджер")
    status_bar = find(frame, "status bar") if frame else None
    label = find(status_bar, "label") if status_bar else None
    check(label is not None, "the status bar holds a text label")
    if label is None:
        return
    frame_width = frame.get_extents(Atspi.CoordType.SCREEN).width

    announced = []

    def on_name_change(event):
        # The name the label has when its change is told.
        try:
            if event.source is not None and event.source.get_role_name() == "label":
                announced.append(event.source.get_name())
        except GLib.Error:
            pass  # an object gone since

    listener = Atspi.EventListener.new(on_name_change)
    listener.register("object:property-change:accessible-name")
    # The program learns of the listener through the registry.
    pump(1)
    export = find(frame, "push button", "Экспорт в Excel")
    check(export is not None, 'the tool bar has "Экспорт в Excel"')
    if export is None:
        return
    export.do_action(0)

    written = []

    def status_shown():
        written[:] = glob.glob(os.path.join(home, "Documents", "ZQ", "*.xlsx"))
        return len(written) == 1 and label.get_name().startswith(STATUS_LEAD)

    check(pump(20, status_shown), "the export writes one workbook and the status tells it")
    if not written:
        return
    expected = STATUS_LEAD + written[0]
    check(label.get_name() == expected, f"the label is named by the whole status: {expected!r}")
    check(pump(5, lambda: expected in announced), "the new status is announced as a name change")
    label_box = label.get_extents(Atspi.CoordType.SCREEN)
    frame_box = frame.get_extents(Atspi.CoordType.SCREEN)
    check(frame_box.width == frame_width == 904, f"the window stays 904 wide ({frame_box.width})")
    check(
        label_box.x + label_box.width <= frame_box.x + frame_box.width,
        "the label ends inside the window",
    )

    def box():
        return find(app, "label", lambda name: name is not None and written[0] in name)

    check(pump(20, lambda: box() is not None), "a box names the workbook no program opened")
    ok = find(app, "push button", "OK")
    if ok is not None:
        ok.do_action(0)

    count = find(app, "label", lambda name: name is not None and name.startswith("Строк: "))
    check(count is not None, 'the exchange log\'s line count is heard ("Строк: N")')
    listener.deregister("object:property-change:accessible-name")
    check_meters(app, frame, failed_meter)


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        print(__doc__)
        sys.exit(2)
    main()
    sys.exit(1 if failures else 0)
