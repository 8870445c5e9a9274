#!/usr/bin/python3
"""Checks the include rules between the source folders.

Each folder may include its own headers and those of the folders it depends
on; only ui/ and app/ may include widget, printing or plot headers (or declare
their classes), and nothing in link/ or session/ runs a nested event loop."""
import pathlib
import re
import sys

ALLOWED = {
    "core": set(),
    "link": {"core"},
    "protocol": {"core", "link"},
    "storage": {"core", "link", "protocol"},
    "session": {"core", "link", "protocol", "storage"},
    "sim": {"core"},
    "automation": {"core", "link", "protocol", "storage", "session"},
    "ui": {"core", "link", "protocol", "storage", "session", "automation"},
}
WIDGET_HEADERS = re.compile(
    r"^Q(Widget|MainWindow|Dialog|Abstract(Button|SpinBox|ItemView)|PushButton|Label|LineEdit|"
    r"ComboBox|CheckBox|RadioButton|SpinBox|DoubleSpinBox|TableView|ListWidget|Mdi\w*|Menu\w*|"
    r"ToolBar|StatusBar|MessageBox|FileDialog|ColorDialog|ProgressBar|GroupBox|Frame|Layout|"
    r"\w*Layout|Application|Printer|PrintDialog|Painter|Style|Action\w*|Screen|Font\w*|Color|"
    r"Brush|Pen|Icon|Pixmap|Image)$|^Qt(Widgets|PrintSupport|Gui)|^qcustomplot")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
# A class of the windows or of printing declared ahead below the windows.
FORWARD = re.compile(r"^\s*class\s+(Q\w+)\s*;")
# A nested event loop: the link and the session run on timers and signals.
NESTED_LOOP = re.compile(r"\bQEventLoop\b|\bprocessEvents\s*\(|\bletEventsRun\s*\(|\bexec\s*\(\s*\)")
LOOP_FREE = {"link", "session"}


def main(root):
    src = pathlib.Path(root) / "src"
    faults = []
    for folder, allowed in ALLOWED.items():
        for path in sorted((src / folder).glob("*")):
            if path.suffix not in {".h", ".cpp", ".in"}:
                continue
            for number, line in enumerate(path.read_text().splitlines(), 1):
                code = line.split("//")[0]
                if folder in LOOP_FREE and NESTED_LOOP.search(code):
                    faults.append(f"{path.relative_to(root)}:{number}: a nested event loop")
                f = FORWARD.match(code)
                if f and folder != "ui" and WIDGET_HEADERS.search(f.group(1)):
                    faults.append(f"{path.relative_to(root)}:{number}: {f.group(1)} below the windows")
                m = INCLUDE.match(line)
                if not m:
                    continue
                where = f"{path.relative_to(root)}:{number}: {m.group(2)}"
                name = m.group(2)
                if m.group(1) == "<":
                    if folder != "ui" and WIDGET_HEADERS.search(name.split("/")[-1]):
                        faults.append(where + " (a widget header below the windows)")
                    continue
                top = name.split("/")[0]
                if "/" in name and top != folder and top not in allowed:
                    faults.append(where + f" ({folder}/ may not use {top}/)")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
