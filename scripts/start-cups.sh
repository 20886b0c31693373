#!/usr/bin/env bash
# Makes sure a CUPS scheduler runs with a PDF queue (cups-pdf) named "PDF",
# for the tests that print on a real queue. Leaves a scheduler that already
# runs alone, adds the queue only when it is missing, and makes it the
# default only when there is no default yet. Never fails the caller: the
# tests that need the queue say so when it could not be had.
set -uo pipefail

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if sudo -n true 2>/dev/null; then as_root=(sudo -n); else as_root=(false); fi
fi

if ! lpstat -r 2>/dev/null | grep -q 'is running'; then
  if command -v cupsd >/dev/null 2>&1; then
    "${as_root[@]}" cupsd || echo "start-cups: could not start cupsd" >&2
    for _ in $(seq 50); do lpstat -r 2>/dev/null | grep -q 'is running' && break; sleep 0.1; done
  fi
fi
if ! lpstat -r 2>/dev/null | grep -q 'is running'; then
  echo "start-cups: no CUPS scheduler; the print queue tests will skip" >&2
  exit 0
fi

ppd=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
if ! lpstat -p PDF >/dev/null 2>&1; then
  "${as_root[@]}" lpadmin -p PDF -E -v cups-pdf:/ -P "$ppd" 2>/dev/null ||
    echo "start-cups: could not add the PDF queue" >&2
fi
if lpstat -d 2>/dev/null | grep -q 'no system default'; then
  "${as_root[@]}" lpadmin -d PDF 2>/dev/null || true
fi
exit 0
