#!/usr/bin/env python3
"""The strong password file read and written by PyNaCl alone, with nothing of
Domora's code: the key is derived with Argon2id from the header's own
parameters and the image opened with XChaCha20-Poly1305; then a file made
here must open in Domora with the same records, and one with a flipped byte
must not.

    check_strong_file.py STRONG_SAMPLE
    check_strong_file.py --dump FILE PASSWORD    prints the opened image in hex
    check_strong_file.py --write FILE PASSWORD   writes a file of two records ("Bank", "Mail")
"""
import json
import os
import struct
import subprocess
import sys
import tempfile

import nacl.bindings
import nacl.pwhash

MAGIC = b"DomoraPW"
HEADER = 68
PASSWORD = "Tr0ub4dor & 3"
failures = []


def check(what, got, expected):
    if got != expected:
        failures.append(f"{what}: {got!r} != {expected!r}")


def key_for(password, salt, passes, memory_kib):
    return nacl.pwhash.argon2id.kdf(32, password.encode("cp1252"), salt, opslimit=passes, memlimit=memory_kib * 1024)


def open_file(path, password):
    data = open(path, "rb").read()
    if data[:8] != MAGIC:
        raise ValueError("no magic")
    version, kdf, memory_kib, passes, lanes = struct.unpack_from("<HHIII", data, 8)
    salt, nonce = data[24:40], data[40:64]
    (length,) = struct.unpack_from("<I", data, 64)
    if (version, kdf, lanes) != (1, 2, 1) or len(data) != HEADER + length + 16:
        raise ValueError("header")
    key = key_for(password, salt, passes, memory_kib)
    image = nacl.bindings.crypto_aead_xchacha20poly1305_ietf_decrypt(data[HEADER:], data[:HEADER], nonce, key)
    return image, memory_kib, passes


def records_of(image):
    """The live records after the 256-byte header, junk skipped a byte at a time."""
    out, at = [], 256
    while at + 14 <= len(image):
        length = struct.unpack_from("<I", image, at)[0]
        if image[at + 4:at + 8] != b"MSRI" or length < 14 or at + length > len(image):
            at += 1
            continue
        record = image[at:at + length]
        if record[12] != 0:
            fields = record[14:].split(b"\0")[:-1]
            out.append({"id": struct.unpack_from("<i", record, 8)[0], "fields": [f.decode("latin-1") for f in fields]})
        at += length
    return out


def image_with(password, records):
    secret = password.encode("cp1252")
    image = bytes([len(secret)]) + secret
    image += b"\0" * (256 - len(image))
    for record in records:
        body = b"".join(f.encode("latin-1") + b"\0" for f in record["fields"])
        image += struct.pack("<I", 14 + len(body)) + b"MSRI" + struct.pack("<i", record["id"]) + b"\x02\x00" + body
    return image + b"\0" * (-len(image) % 16)


def write_file(path, password, records, memory_kib=8192, passes=1):
    salt, nonce = os.urandom(16), os.urandom(24)
    image = image_with(password, records)
    header = MAGIC + struct.pack("<HHIII", 1, 2, memory_kib, passes, 1) + salt + nonce + struct.pack("<I", len(image))
    key = key_for(password, salt, passes, memory_kib)
    sealed = nacl.bindings.crypto_aead_xchacha20poly1305_ietf_encrypt(image, header, nonce, key)
    with open(path, "wb") as f:
        f.write(header + sealed)


def sample(helper, mode, folder, password=PASSWORD):
    run = subprocess.run([helper, mode, folder, password], capture_output=True, text=True)
    return run.returncode, json.loads(run.stdout) if run.returncode == 0 else None


SAMPLE_RECORDS = [
    {"id": 4, "fields": ["Mail", "Address: jo@example.org", "Password: pw \xe9\x80"] + [""] * 13},
    {"id": 9, "fields": ["Shop"] + [""] * 15},
]


def main():
    if sys.argv[1] == "--dump":
        print(open_file(sys.argv[2], sys.argv[3])[0].hex())
        return 0
    if sys.argv[1] == "--write":
        write_file(sys.argv[2], sys.argv[3], SAMPLE_RECORDS)
        return 0
    helper = sys.argv[1]
    with tempfile.TemporaryDirectory() as root:
        ours = os.path.join(root, "ours")
        os.mkdir(ours)
        code, shown = sample(helper, "write", ours)
        check("our writer's exit", code, 0)
        image, memory_kib, passes = open_file(os.path.join(ours, "password20.dat"), PASSWORD)
        check("our records read here", records_of(image), shown)
        check("our image's password", image[1:1 + image[0]], PASSWORD.encode("cp1252"))
        if memory_kib < 64 * 1024 or passes < 3:
            failures.append(f"a cost below 64 MiB and 3 passes: {memory_kib} KiB, {passes} passes")
        check("our file's mode", oct(os.stat(os.path.join(ours, "password20.dat")).st_mode & 0o777), "0o600")

        theirs = os.path.join(root, "theirs")
        os.mkdir(theirs)
        records = SAMPLE_RECORDS
        path = os.path.join(theirs, "password20.dat")
        write_file(path, PASSWORD, records)
        code, shown = sample(helper, "read", theirs)
        check("opening a file written here", code, 0)
        check("its records in Domora", shown, records)
        check("a wrong password", sample(helper, "read", theirs, "not it")[0], 3)

        data = bytearray(open(path, "rb").read())
        data[HEADER + 300] ^= 0x01
        open(path, "wb").write(data)
        check("a flipped byte in the sealed image", sample(helper, "read", theirs)[0], 3)
        check("the flipped file is left as it was", open(path, "rb").read(), bytes(data))
    for failure in failures:
        print(failure)
    print(f"{6 - min(6, len(failures))} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
