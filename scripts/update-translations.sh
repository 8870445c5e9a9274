#!/usr/bin/env bash
# Brings translations/*.ts up to date with the texts in the sources; new
# texts arrive unfinished, for a translator to fill in.
set -euo pipefail
cd "$(dirname "$0")/.."
lupdate=/usr/lib/qt6/bin/lupdate
for ts in translations/powertrq_*.ts; do
  "$lupdate" -silent -no-obsolete -locations none -extensions cpp,h src app -ts "$ts"
done
