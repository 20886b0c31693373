#!/usr/bin/env bash
# Starts a private CUPS scheduler over a scratch folder, for the tests that
# print on a real queue, and keeps it running until its standard input ends
# (or it is told to stop by a signal); then stops it.
#
#   scripts/start-cups.sh FOLDER
#
# Everything it uses lives below FOLDER (as root, in a scratch folder of its
# own, see below): the configuration (ServerRoot), the spool, the logs
# (FOLDER/log), the cache and the socket it listens on (nothing on the
# network). It has one queue, "PDF", the default, which writes every job as a
# PDF file to FOLDER/pdf/job.pdf; clients reach it through CUPS_SERVER only. The machine's own CUPS, running or not,
# is never asked anything, so that a test can neither depend on it nor send
# it a job.
#
# When the queue is ready it prints one line, "CUPS_SERVER=<its socket>".
# When it cannot start it exits non-zero with the reason on its error output.
# The same works as root and as an ordinary user: the queue needs no backend
# of its own (the file device is the scheduler's) and no root-only driver.
set -uo pipefail

folder="${1:-}"
if [ -z "$folder" ]; then
  echo "usage: $0 FOLDER" >&2
  exit 2
fi
mkdir -p "$folder" || exit 1
folder="$(cd "$folder" && pwd)"

base=""
pid=""
stop() {
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    pid=""
  fi
  if [ -n "$base" ] && [ "$base" != "$folder" ]; then rm -rf "$base"; fi
}
trap stop EXIT
trap 'exit 1' INT TERM HUP

# Its real path: /usr/sbin is not on an ordinary user's PATH.
cupsd=/usr/sbin/cupsd
if [ ! -x "$cupsd" ]; then
  echo "start-cups: $cupsd is missing (the cups-daemon package, scripts/bootstrap-test.sh)" >&2
  exit 1
fi
for tool in /usr/sbin/lpadmin /usr/bin/lpstat; do
  if [ ! -x "$tool" ]; then
    echo "start-cups: $tool is missing (the cups-client package, scripts/bootstrap-test.sh)" >&2
    exit 1
  fi
done
if [ ! -x /usr/lib/cups/filter/pdftopdf ]; then
  echo "start-cups: /usr/lib/cups/filter/pdftopdf is missing (the cups-filters package, scripts/bootstrap-test.sh)" >&2
  exit 1
fi

# Run as root the scheduler runs its filters as an unprivileged user ("lp"),
# who must reach its configuration, spool and scratch files; the folder a test
# gives is usually private to it, so then they live in a folder of their own
# below /tmp, removed again at the end. The queue's PDF is written by the
# scheduler itself and still lands in FOLDER/pdf.
user="$(id -un)" group="$(id -gn)"
base="$folder"
if [ "$(id -u)" -eq 0 ]; then
  user=lp
  group="$(id -gn lp 2>/dev/null || echo lp)"
  base="$(mktemp -d /tmp/domora-cups-XXXXXX)" || exit 1
  chmod 0755 "$base"
fi

socket="$base/cups.sock"
# A Unix socket's path must fit in sun_path.
if [ "${#socket}" -ge 100 ]; then
  echo "start-cups: $socket is too long for a socket; use a shorter folder" >&2
  exit 1
fi

etc="$base/etc" spool="$base/spool" log="$base/log" out="$folder/pdf"
rm -rf "$etc" "$spool" "$base/cache" "$base/state" "$base/tmp" "$out"
mkdir -p "$etc/ppd" "$spool/tmp" "$log" "$out" "$base/cache" "$base/state/certs" "$base/tmp" || exit 1
rm -f "$socket"
if [ "$base" != "$folder" ]; then
  chown -R "$user:$group" "$spool" "$base/tmp" "$base/cache"
  chmod 0710 "$spool"
  rm -rf "$folder/log"
  ln -s "$log" "$folder/log"
fi

cat >"$etc/cups-files.conf" <<EOF
ServerRoot $etc
RequestRoot $spool
TempDir $base/tmp
CacheDir $base/cache
StateDir $base/state
ServerBin /usr/lib/cups
DataDir /usr/share/cups
DocumentRoot /usr/share/cups/doc-root
AccessLog $log/access_log
ErrorLog $log/error_log
PageLog $log/page_log
User $user
Group $group
SystemGroup $(id -gn)
FileDevice Yes
Sandboxing Relaxed
EOF

cat >"$etc/cupsd.conf" <<EOF
Listen $socket
Browsing No
BrowseLocalProtocols none
DefaultShared No
WebInterface No
LogLevel info
MaxLogSize 0
DefaultAuthType None
PreserveJobFiles No
PreserveJobHistory No
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order allow,deny
    Allow all
  </Limit>
</Policy>
DefaultPolicy default
EOF

# A PostScript-free printer that takes PDF and keeps it: letter and A4 with
# no unprintable margin, so that what a test finds on the page is where the
# program put it.
cat >"$etc/pdf-file.ppd" <<'EOF'
*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "PDFFILE.PPD"
*Manufacturer: "Test"
*Product: "(PDF file)"
*ModelName: "PDF file"
*ShortNickName: "PDF file"
*NickName: "PDF file"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: True
*DefaultColorSpace: RGB
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*cupsFilter2: "application/vnd.cups-pdf application/pdf 0 -"
*OpenUI *PageSize/Page Size: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: Letter
*PageSize Letter/US Letter: "<</PageSize[612 792]/ImagingBBox null>>setpagedevice"
*PageSize A4/A4: "<</PageSize[595 842]/ImagingBBox null>>setpagedevice"
*CloseUI: *PageSize
*OpenUI *PageRegion: PickOne
*OrderDependency: 10 AnySetup *PageRegion
*DefaultPageRegion: Letter
*PageRegion Letter/US Letter: "<</PageSize[612 792]/ImagingBBox null>>setpagedevice"
*PageRegion A4/A4: "<</PageSize[595 842]/ImagingBBox null>>setpagedevice"
*CloseUI: *PageRegion
*DefaultImageableArea: Letter
*ImageableArea Letter/US Letter: "0 0 612 792"
*ImageableArea A4/A4: "0 0 595 842"
*DefaultPaperDimension: Letter
*PaperDimension Letter/US Letter: "612 792"
*PaperDimension A4/A4: "595 842"
EOF


# -f: stays in the foreground, so that this script knows its PID and stops it.
"$cupsd" -f -c "$etc/cupsd.conf" -s "$etc/cups-files.conf" >"$log/cupsd.out" 2>&1 </dev/null &
pid=$!

export CUPS_SERVER="$socket"
# Nothing below may fall back to another server.
unset CUPS_USER CUPS_ENCRYPTION
factor="${DOMORA_TEST_TIMEOUT_FACTOR:-1}"
case "$factor" in '' | *[!0-9]*) factor=1 ;; esac
[ "$factor" -ge 1 ] || factor=1
ready=false
for _ in $(seq $((300 * factor))); do
  if ! kill -0 "$pid" 2>/dev/null; then break; fi
  if [ -S "$socket" ] && /usr/bin/lpstat -r 2>/dev/null | grep -q 'is running'; then ready=true; break; fi
  sleep 0.1
done
if ! $ready; then
  echo "start-cups: the private cupsd did not start; its log:" >&2
  cat "$log/cupsd.out" "$log/error_log" 2>/dev/null | tail -20 >&2
  exit 1
fi

if ! /usr/sbin/lpadmin -p PDF -E -v "file://$out/job.pdf" -P "$etc/pdf-file.ppd" 2>"$log/lpadmin.err" ||
   ! /usr/sbin/lpadmin -d PDF 2>>"$log/lpadmin.err"; then
  echo "start-cups: could not add the PDF queue:" >&2
  cat "$log/lpadmin.err" >&2
  tail -20 "$log/error_log" >&2 2>/dev/null
  exit 1
fi
if ! /usr/bin/lpstat -p PDF 2>/dev/null | grep -q 'enabled'; then
  echo "start-cups: the PDF queue is not accepting jobs" >&2
  /usr/bin/lpstat -p PDF >&2
  exit 1
fi

echo "CUPS_SERVER=$socket"
# Until whoever started it is done: its end of our input closes then, even
# when it dies without a word.
# (A background command's input would be /dev/null without the redirection;
# in the background, a signal is not held up until it ends.)
cat <&0 >/dev/null &
wait $!
exit 0
