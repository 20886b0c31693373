#!/usr/bin/env bash
# The contacts sync beside vdirsyncer on one Radicale address book of N cards
# (10,000 by default), in the same run: a first sync, a sync with nothing
# changed, and a sync after one card changed on the server; our peak memory
# against the size of the cards. Run by hand, not by CI:
#   bench/carddav_vs_vdirsyncer.sh [BUILD_DIR] [N]
# SERVER=xandikos runs the same against Xandikos instead.
# BEFORE=path/to/an/older/bench_carddav_sync runs that build too, in the same
# run against the same server, so a change is seen beside what it replaced.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build/release}"
n="${2:-10000}"
tool="$build/bench/bench_carddav_sync"
before="${BEFORE:-}"
[ -z "$before" ] || [ -x "$before" ] || { echo "BEFORE=$before is not a program" >&2; exit 1; }
[ -x "$tool" ] || { echo "build $tool first (cmake --build $build --target bench_carddav_sync)" >&2; exit 1; }
server="${SERVER:-radicale}"
case "$server" in radicale|xandikos) ;; *) echo "SERVER is radicale or xandikos" >&2; exit 1;; esac
for p in "$server" vdirsyncer curl git; do command -v "$p" >/dev/null || { echo "$p is missing: scripts/bootstrap-test.sh" >&2; exit 1; }; done

work="$(mktemp -d /tmp/domora-bench-XXXXXX)"
server_pid=""
cleanup() { if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi; rm -rf "$work"; }
trap cleanup EXIT
port="$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')"
user=ann
password=bench
echo "$user:$password" > "$work/users"
if [ "$server" = radicale ]; then
  radicale --config "" --storage-filesystem-folder="$work/store" --server-hosts="127.0.0.1:$port" \
    --auth-type=htpasswd --auth-htpasswd-filename="$work/users" --auth-htpasswd-encryption=plain --logging-level=warning &
  server_pid=$!
  for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done
  book="http://127.0.0.1:$port/$user/contacts/"
  folder="$work/store/collection-root/$user/contacts"
  curl -s -o /dev/null -u "$user:$password" -X MKCOL "$book" --data '<?xml version="1.0"?><mkcol xmlns="DAV:" xmlns:c="urn:ietf:params:xml:ns:carddav"><set><prop><resourcetype><collection/><c:addressbook/></resourcetype></prop></set></mkcol>'
else
  # Xandikos makes its user's address book at start and asks no password.
  xandikos --defaults -d "$work/store" -l 127.0.0.1 -p "$port" >"$work/xandikos.log" 2>&1 &
  server_pid=$!
  book="http://127.0.0.1:$port/user/contacts/addressbook/"
  folder="$work/store/user/contacts/addressbook"
  for _ in $(seq 100); do curl -s -o /dev/null "$book" && [ -d "$folder" ] && break; sleep 0.1; done
fi

# The cards go straight into the server's folder: uploading 10,000 one by one takes Radicale longer than everything measured here.
/usr/bin/python3 - "$folder" "$n" <<'PY'
import sys
folder, n = sys.argv[1], int(sys.argv[2])
for i in range(n):
    with open("%s/c%05d.vcf" % (folder, i), "w", newline="") as f:
        f.write("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:c%05d\r\nN:Family%05d;Given%05d;;;\r\nFN:Given%05d Family%05d\r\n"
                "EMAIL;TYPE=INTERNET:given%05d@example.org\r\nTEL;TYPE=CELL:555-%04d\r\n"
                "ADR;TYPE=HOME:;;%d Main Street;Springfield;IL;62701;USA\r\nNOTE:Card number %d\r\nEND:VCARD\r\n"
                % (i, i, i, i, i, i, i % 10000, i, i))
PY
# Xandikos keeps its books in git: the cards are there once committed.
if [ "$server" = xandikos ]; then
  git -C "$folder" add -A && git -C "$folder" -c user.name=bench -c user.email=bench@localhost commit -qm "the bench's cards"
fi
# A first listing warms Radicale's cache for both clients alike.
curl -s -o /dev/null -u "$user:$password" -X PROPFIND -H "Depth: 1" -H "Content-Type: application/xml" "$book"

mkdir -p "$work/vdir/cards" "$work/vdir/status" "$work/domora" "$work/before"
cat > "$work/vdir/config" <<CFG
[general]
status_path = "$work/vdir/status"
[pair bench]
a = "local"
b = "server"
collections = null
conflict_resolution = "b wins"
[storage local]
type = "filesystem"
path = "$work/vdir/cards"
fileext = ".vcf"
[storage server]
type = "carddav"
url = "$book"
username = "$user"
password = "$password"
CFG
seconds() { local s e; s=$(date +%s.%N); "$@" >/dev/null 2>&1; e=$(date +%s.%N); echo "$e - $s" | bc; }
vdir() { vdirsyncer -c "$work/vdir/config" "$@"; }
vdir discover >/dev/null 2>&1
v_first=$(seconds vdir sync)
v_again=$(seconds vdir sync)

if [ -n "$before" ]; then
  b_first=$("$before" first "$book" "$user" "$password" "$work/before")
  b_again=$("$before" again "$book" "$user" "$password" "$work/before")
fi
d_first=$("$tool" first "$book" "$user" "$password" "$work/domora")
d_again=$("$tool" again "$book" "$user" "$password" "$work/domora")
printf 'BEGIN:VCARD\r\nVERSION:3.0\r\nUID:c00042\r\nN:Changed;Given00042;;;\r\nFN:Given00042 Changed\r\nEND:VCARD\r\n' > "$work/changed.vcf"
curl -s -o /dev/null -u "$user:$password" -T "$work/changed.vcf" -H "Content-Type: text/vcard" "${book}c00042.vcf"
d_one=$("$tool" one-change "$book" "$user" "$password" "$work/domora")
[ -z "$before" ] || b_one=$("$before" one-change "$book" "$user" "$password" "$work/before")
v_one=$(seconds vdir sync)

ms() { echo "$1" | awk '{print $2}'; }
cpu() { echo "$1" | awk '{print ($6 == "" ? "-" : $6)}'; }
echo "cards: $n on $server"
if [ -n "$before" ]; then
  printf "%-8s %10s %10s %12s %14s %10s\n" "step" "before ms" "domora ms" "domora cpu ms" "vdirsyncer ms" "ratio"
else
  printf "%-8s %10s %12s %14s %10s\n" "step" "domora ms" "domora cpu ms" "vdirsyncer ms" "ratio"
fi
for step in first again one; do
  case $step in first) d=$d_first; v=$v_first; b=${b_first:-};; again) d=$d_again; v=$v_again; b=${b_again:-};; one) d=$d_one; v=$v_one; b=${b_one:-};; esac
  vms=$(echo "$v * 1000 / 1" | bc)
  ratio=$(echo "scale=3; $(ms "$d") / $vms" | bc)
  if [ -n "$before" ]; then
    printf "%-8s %10s %10s %12s %14s %10s\n" "$step" "$(ms "$b")" "$(ms "$d")" "$(cpu "$d")" "$vms" "$ratio"
  else
    printf "%-8s %10s %12s %14s %10s\n" "$step" "$(ms "$d")" "$(cpu "$d")" "$vms" "$ratio"
  fi
done
memory() { awk '{printf "%s: peak %d kB, %d kB before it; growth %d kB for %d kB of cards (%.2fx)\n", name, $3, $5, $3-$5, $4/1024, ($3-$5)/($4/1024)}' name="$1"; }
for step in first again one; do
  case $step in first) d=$d_first; b=${b_first:-};; again) d=$d_again; b=${b_again:-};; one) d=$d_one; b=${b_one:-};; esac
  [ -z "$before" ] || echo "$b" | memory "memory of the $step sync, before"
  echo "$d" | memory "memory of the $step sync"
done
