#!/usr/bin/env python3
"""Every translatable text of the sources is translated, and each
translation keeps its source's placeholders, accelerator and line breaks.

The translation files are brought up to date with the sources in a scratch
copy first, so a text added to the code without its translation fails here
instead of showing up in English."""
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

LUPDATE = "/usr/lib/qt6/bin/lupdate"
PLACEHOLDER = re.compile(r"%L?\d+|%n")


def text_of(element):
    return "".join(element.itertext()) if element is not None else ""


def faults_in(ts_file):
    faults = []
    for context in ET.parse(ts_file).getroot().iter("context"):
        name = context.findtext("name")
        for message in context.iter("message"):
            source = text_of(message.find("source"))
            translation = message.find("translation")
            where = f"{ts_file.name}: {name}: {source!r}"
            if translation is None or translation.get("type") in ("unfinished", "vanished", "obsolete"):
                faults.append(f"{where}: not translated")
                continue
            target = text_of(translation)
            if not target.strip():
                faults.append(f"{where}: empty translation")
            elif sorted(PLACEHOLDER.findall(source)) != sorted(PLACEHOLDER.findall(target)):
                faults.append(f"{where}: placeholders differ in {target!r}")
            elif source.count("&") != target.count("&"):
                faults.append(f"{where}: accelerators differ in {target!r}")
            elif source.count("\n") != target.count("\n"):
                faults.append(f"{where}: line breaks differ in {target!r}")
    return faults


def main(root):
    root = pathlib.Path(root)
    files = sorted((root / "translations").glob("powertrq_*.ts"))
    if not files:
        print("no translation files")
        return 1
    faults = []
    with tempfile.TemporaryDirectory() as scratch:
        for original in files:
            copy = pathlib.Path(scratch) / original.name
            shutil.copy(original, copy)
            run = subprocess.run([LUPDATE, "-silent", "-no-obsolete", "-locations", "none",
                                  "-extensions", "cpp,h", str(root / "src"), str(root / "app"),
                                  "-ts", str(copy)], check=True, capture_output=True, text=True)
            # A tr() lupdate cannot place (a class without Q_OBJECT, say)
            # would stay English at run time.
            faults += [f"lupdate: {line}" for line in run.stderr.splitlines() if line.strip()]
            faults += faults_in(copy)
    for fault in faults:
        print(fault)
    print(f"{len(files)} translation file(s), {len(faults)} fault(s)")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
