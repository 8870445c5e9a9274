#!/usr/bin/python3
"""Checks the include rules between the source folders.

Each folder may include its own headers and those of the folders it depends
on; only ui/ and app/ may include widget, printing or plot headers."""
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


def main(root):
    src = pathlib.Path(root) / "src"
    faults = []
    for folder, allowed in ALLOWED.items():
        for path in sorted((src / folder).glob("*")):
            if path.suffix not in {".h", ".cpp", ".in"}:
                continue
            for number, line in enumerate(path.read_text().splitlines(), 1):
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
