#!/usr/bin/python3
"""Reads a CardDAV address book the way another client would: lists it with
PROPFIND, fetches every card with GET and parses each strictly with
python3-vobject. Prints one JSON object per card, sorted by UID; exits 1 when
a card does not parse.

usage: check_carddav.py BOOK_URL [USER PASSWORD]
"""
import base64
import json
import sys
import urllib.parse
import urllib.request
import xml.etree.ElementTree as ET

import vobject


def request(method, url, auth, body=None, depth=None):
    req = urllib.request.Request(url, data=body, method=method)
    if auth:
        req.add_header("Authorization", "Basic " + base64.b64encode(auth.encode()).decode())
    if depth is not None:
        req.add_header("Depth", depth)
        req.add_header("Content-Type", "application/xml")
    with urllib.request.urlopen(req) as response:
        return response.read()


def values(card, name):
    return [c.value for c in card.contents.get(name, [])]


def main():
    url = sys.argv[1]
    auth = sys.argv[2] + ":" + sys.argv[3] if len(sys.argv) > 3 else None
    listing = request("PROPFIND", url, auth, b'<propfind xmlns="DAV:"><prop><getetag/></prop></propfind>', "1")
    hrefs = [e.text for e in ET.fromstring(listing).iter("{DAV:}href")]
    base = urllib.parse.urlsplit(url)
    cards = []
    for href in hrefs:
        if urllib.parse.urlsplit(href).path.rstrip("/") == base.path.rstrip("/"):
            continue
        text = request("GET", urllib.parse.urljoin(url, href), auth).decode("utf-8")
        try:
            card = vobject.readOne(text, validate=True)
        except Exception as error:  # noqa: BLE001 - any failure to read is the finding
            print("unreadable card %s: %s" % (href, error), file=sys.stderr)
            return 1
        n = card.contents.get("n", [None])[0]
        cards.append({
            "href": href,
            "uid": values(card, "uid")[0] if values(card, "uid") else "",
            "fn": values(card, "fn")[0] if values(card, "fn") else "",
            "family": n.value.family if n else "",
            "given": n.value.given if n else "",
            "org": [list(v) if isinstance(v, list) else [v] for v in values(card, "org")],
            "emails": values(card, "email"),
            "tels": values(card, "tel"),
            "cities": [a.city for a in values(card, "adr")],
            "notes": values(card, "note"),
            "photo": "photo" in card.contents,
            "bday": values(card, "bday"),
        })
    cards.sort(key=lambda c: c["uid"])
    print(json.dumps(cards))
    return 0


if __name__ == "__main__":
    sys.exit(main())
