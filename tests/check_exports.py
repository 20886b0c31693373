#!/usr/bin/python3
"""Reads Domora's own exports back with programs that know nothing of it:
python3-vobject in strict mode (every card, every field), abook's --convert
(names, e-mail, phones, address) and Python's csv module (all 17 fields,
Windows-1252). Usage: check_exports.py EXPORT_SAMPLE_HELPER"""

import csv
import os
import re
import shutil
import subprocess
import sys
import tempfile

import vobject

FIELDS = ["First", "Last", "Company", "Address 1", "Address 2", "City", "State", "Zip", "Country", "Home Phone",
          "Work Phone", "Cell Phone", "Email", "Web Site", "Misc 1", "Misc 2", "Misc 3"]
CSV_HEADER = ["First Name", "Last Name", "Company", "Address 1", "Address 2", "City", "State", "Zip", "Country",
              "Home Phone", "Work Phone", "Cell Phone", "Email", "Web Site", "Misc 1", "Misc 2", "Misc 3"]

failures = []


def check(what, got, want):
    if got != want:
        failures.append(f"{what}: got {got!r}, want {want!r}")


def lines_value(*parts):
    """Lines of a value as the export writes them: trimmed, blank ones dropped at either end."""
    kept = [p.strip(" ") for p in parts]
    while kept and not kept[-1]:
        kept.pop()
    while kept and not kept[0]:
        kept.pop(0)
    return "\n".join(kept)


def city_line(r):
    line = f"{r['City']}, {r['State']} {r['Zip']} {r['Country']}".strip(" ")
    if line.endswith(","):
        line = line[:-1].strip(" ")
    return line


def unescape(text):
    """abook keeps vCard escapes as they stand; undo them to compare."""
    return re.sub(r"\\(.)", lambda m: "\n" if m.group(1) in "nN" else m.group(1), text)


def check_vobject(path, records):
    with open(path, encoding="utf-8", newline="") as f:
        text = f.read()
    for number, line in enumerate(text.split("\r\n")):
        check(f"vcf line {number} octets", len(line.encode("utf-8")) <= 75, True)
        check(f"vcf line {number} bare line break", "\r" in line or "\n" in line, False)
    try:
        cards = list(vobject.readComponents(text, validate=True, ignoreUnreadable=False, allowQP=False))
    except Exception as error:  # a strict reader rejects the whole file
        failures.append(f"vobject rejects the file: {error!r}")
        return
    check("vobject card count", len(cards), len(records))
    for i, (card, r) in enumerate(zip(cards, records)):
        who = f"vobject card {i}"
        check(f"{who} VERSION", card.version.value, "3.0")
        if r["First"] or r["Last"]:
            check(f"{who} N family", card.n.value.family, r["Last"])
            check(f"{who} N given", card.n.value.given, r["First"])
            check(f"{who} FN", card.fn.value, f"{r['First']} {r['Last']}")
        else:
            check(f"{who} N family", card.n.value.family, r["Company"])
            check(f"{who} FN", card.fn.value, r["Company"])
        if r["Company"]:
            check(f"{who} ORG", card.org.value, [r["Company"]])
        else:
            check(f"{who} ORG", "org" in card.contents, False)
        street = lines_value(r["Address 1"], r["Address 2"])
        if street:
            adr = card.adr
            kind = "WORK" if r["Company"] else "HOME"
            check(f"{who} ADR type", adr.params.get("TYPE"), [kind])
            check(f"{who} ADR street", adr.value.street, street)
            check(f"{who} ADR city", adr.value.city, r["City"])
            check(f"{who} ADR region", adr.value.region, r["State"])
            check(f"{who} ADR code", adr.value.code, r["Zip"])
            check(f"{who} ADR country", adr.value.country, r["Country"])
            label = street + ("\n" + city_line(r) if city_line(r) else "")
            check(f"{who} LABEL", card.label.value, label)
        else:
            check(f"{who} ADR", "adr" in card.contents, False)
        check(f"{who} URL", card.url.value if "url" in card.contents else "", r["Web Site"])
        check(f"{who} EMAIL", card.email.value if "email" in card.contents else "", r["Email"])
        phones = {"HOME": "", "WORK": "", "CELL": ""}
        for tel in card.contents.get("tel", []):
            kinds = [t for t in tel.params.get("TYPE", []) if t in phones]
            check(f"{who} TEL kinds", len(kinds), 1)
            if kinds:
                phones[kinds[0]] = tel.value
        check(f"{who} TEL HOME", phones["HOME"], r["Home Phone"])
        check(f"{who} TEL WORK", phones["WORK"], r["Work Phone"])
        check(f"{who} TEL CELL", phones["CELL"], r["Cell Phone"])
        note = lines_value(r["Misc 1"], r["Misc 2"], r["Misc 3"])
        check(f"{who} NOTE", card.note.value if "note" in card.contents else "", note)


def folded_properties(path):
    """For each card, the properties written over more than one line, which abook does not join."""
    folded, current, name = [], set(), None
    with open(path, encoding="utf-8", newline="") as f:
        for line in f.read().split("\r\n"):
            if line.startswith(" "):
                current.add(name)
                continue
            name = re.split("[;:]", line, maxsplit=1)[0].upper()
            if name == "END":
                folded.append(current)
                current = set()
    return folded


def check_abook(path, records):
    if shutil.which("abook") is None:
        failures.append("abook is not installed")
        return
    out = path + ".abook"
    subprocess.run(["abook", "--convert", "--informat", "vcard", "--infile", path, "--outformat", "abook",
                    "--outfile", out], check=True, capture_output=True)
    entries = []
    with open(out, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if re.fullmatch(r"\[\d+\]", line):
                entries.append({})
            elif entries and "=" in line:
                key, value = line.split("=", 1)
                entries[-1][key] = value
    check("abook entry count", len(entries), len(records))
    for i, (entry, r, folded) in enumerate(zip(entries, records, folded_properties(path))):
        who = f"abook entry {i}"
        name = f"{r['First']} {r['Last']}" if r["First"] or r["Last"] else r["Company"]
        if "FN" not in folded:
            check(f"{who} name", unescape(entry.get("name", "")), name)
        if "EMAIL" not in folded:
            check(f"{who} email", entry.get("email", ""), r["Email"])
        if "TEL" not in folded:
            check(f"{who} phone", entry.get("phone", ""), r["Home Phone"])
            check(f"{who} workphone", entry.get("workphone", ""), r["Work Phone"])
            check(f"{who} mobile", entry.get("mobile", ""), r["Cell Phone"])
        if "ADR" not in folded:
            check(f"{who} address", unescape(entry.get("address", "")), lines_value(r["Address 1"], r["Address 2"]))
            check(f"{who} city", unescape(entry.get("city", "")), r["City"])
            check(f"{who} state", unescape(entry.get("state", "")), r["State"])
            check(f"{who} zip", unescape(entry.get("zip", "")), r["Zip"])
            check(f"{who} country", unescape(entry.get("country", "")), r["Country"])


def check_csv(path, records):
    with open(path, encoding="cp1252", newline="") as f:
        rows = list(csv.reader(f, strict=True))
    check("csv header", rows[0] if rows else None, CSV_HEADER)
    check("csv row count", len(rows) - 1, len(records))
    for i, (row, r) in enumerate(zip(rows[1:], records)):
        check(f"csv row {i}", row, [r[name] for name in FIELDS])


def main():
    helper = sys.argv[1]
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run([helper, folder], check=True)
        with open(os.path.join(folder, "expected.txt"), encoding="utf-8") as f:
            records = [dict(zip(FIELDS, line.split("\t"))) for line in f.read().split("\n") if line]
        check_vobject(os.path.join(folder, "sample.vcf"), records)
        check_abook(os.path.join(folder, "sample.vcf"), records)
        check_csv(os.path.join(folder, "sample.csv"), records)
    for failure in failures:
        print(failure)
    print(f"{len(records)} records, {len(failures)} differences")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
