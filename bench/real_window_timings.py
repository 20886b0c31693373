#!/usr/bin/env python3
# Timings through the real window (under X, with xdotool and xclip; e.g.
# `source scripts/test-env.sh; start_private_xvfb` first):
#   real_window_timings.py BINARY import [COUNT]    a 10-card import from the
#       click on "Clipboard" to the last full redraw, into a sorted book of COUNT
#   real_window_timings.py BINARY pagedown COUNT    Page Down, key to full redraw
# The time runs from just before xdotool is started to the widget dump the
# program writes on each full draw, so it includes starting xdotool.
import os, struct, subprocess, sys, tempfile, time, shutil, statistics

binary, what = sys.argv[1], sys.argv[2]
count = int(sys.argv[3]) if len(sys.argv) > 3 else 1000

def record(i, first, last):
    vals = [first, last] + [""] * 15
    vals[5] = "Springfield"
    body = b"".join(v.encode("latin-1") + b"\0" for v in vals)
    return struct.pack("<I", 18 + len(body)) + b"MSRI" + struct.pack("<i", i) + b"\x01\x00" + b"\0" * 4 + body

root = tempfile.mkdtemp(prefix="domora-i30-")
for d in ("app", "home", "run"): os.makedirs(os.path.join(root, d))
os.chmod(os.path.join(root, "run"), 0o700)
shutil.copy(binary, os.path.join(root, "app", "domora"))
recs = sorted(((f"Last{i:07d}", f"First{i % 97}") for i in range(count)))
with open(os.path.join(root, "app", "address10.dat"), "wb") as f:
    f.write(b"".join(record(i + 1, fi, la) for i, (la, fi) in enumerate(recs)))
dump = os.path.join(root, "dump.txt")
env = {k: v for k, v in os.environ.items() if k != "HOME" and not k.startswith(("XDG_", "CUPS_"))}
env.update(HOME=os.path.join(root, "home"), XDG_RUNTIME_DIR=os.path.join(root, "run"),
           CUPS_SERVER=os.path.join(root, "no.sock"), DOMORA_WIDGET_DUMP=dump)
proc = subprocess.Popen([os.path.join(root, "app", "domora"), "address"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

def table():
    try: text = open(dump, encoding="latin-1").read()
    except FileNotFoundError: return None, []
    lines = text.split("\n")
    ws = []
    for l in lines[1:]:
        p = l.split("\t")
        if len(p) >= 7: ws.append((int(p[0]), int(p[1]), int(p[2]), int(p[3]), int(p[4]), int(p[5]), p[6]))
    return lines[0], ws

def wait(cond, limit=60):
    end = time.time() + limit
    while time.time() < end:
        r = cond()
        if r: return r
        time.sleep(0.01)
    raise SystemExit("timed out")

def mtime():
    try: return os.stat(dump).st_mtime_ns
    except FileNotFoundError: return 0

wait(lambda: (table()[0] or "").startswith("screen\t3\tpopup\t0"))
wid = subprocess.check_output(["xdotool", "search", "--sync", "--onlyvisible", "--pid", str(proc.pid)]).split()[0].decode()
time.sleep(1.0)

def click_at(w):
    x, y = (w[2] + w[4]) // 2, (w[3] + w[5]) // 2
    subprocess.check_call(["xdotool", "mousemove", "--window", wid, str(x), str(y), "click", "1"])

def settle(since, quiet=0.6):
    # The last full draw: the dump's time once nothing was drawn for a while.
    wait(lambda: mtime() > since)
    last = mtime()
    while True:
        time.sleep(quiet)
        now = mtime()
        if now == last: return last
        last = now

results = []
if what == "import":
    cards = "".join(f"BEGIN:VCARD\r\nVERSION:3.0\r\nN:Fam{i};Giv{i};;;\r\nFN:Giv{i} Fam{i}\r\nEMAIL:p{i}@example.org\r\nEND:VCARD\r\n" for i in range(10))
    for run in range(6):
        subprocess.run(["xclip", "-selection", "clipboard"], input=cards.encode(), check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        head, ws = table()
        imp = [w for w in ws if w[0] == 546][0]
        before = mtime()
        click_at(imp)
        btn = wait(lambda: [w for w in table()[1] if w[0] == 5001] or None)[0]
        time.sleep(0.5)
        before = mtime()
        t0 = time.time_ns()
        click_at(btn)
        end = settle(before)
        results.append((end - t0) / 1e6)
        time.sleep(0.3)
else:
    for run in range(3):
        subprocess.check_call(["xdotool", "windowfocus", "--sync", wid, "key", "ctrl+Home"])
        time.sleep(0.8)
        for n in range(8):
            before = mtime()
            t0 = time.time_ns()
            subprocess.check_call(["xdotool", "key", "Next"])
            wait(lambda: mtime() > before)
            results.append((mtime() - t0) / 1e6)
            time.sleep(0.15)
proc.terminate(); proc.wait(timeout=30)
shutil.rmtree(root, ignore_errors=True)
print(what, count, "median_ms=%.1f" % statistics.median(results), "runs=" + " ".join("%.0f" % r for r in results))
