#!/usr/bin/env python3
"""Feeds the archiver stand-in mutated and cut archives and reports what it did.

Not part of `make test`: run it by hand against the sanitizer build,

    make sanitize   # or build only WinRAR in build-sanitize
    tests/winrar/fuzz_archives.py build-sanitize/bin/WinRAR/WinRAR --cases 3000

Each case is a sound RAR 4 or RAR 5 archive (stored entries, folders,
links, Chinese names, a self-extractor's program in front; one RAR 5 with
a link, which libarchive reads) with bytes
flipped, inserted or removed, or cut off somewhere. Each is unpacked
("X -o+") into a folder of its own, and a RAR 4 one sometimes added to
("a -m0 -ep1 -r"), under a time limit. A case fails when the program is
killed by a signal, runs past the limit, prints a sanitizer report, or
writes anything outside its destination, or ends with exit 0 having written
a file the sound archive does not hold.
"""
import argparse
import collections
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

SUPP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "sanitizers")


def crc(data):
    return zlib.crc32(data) & 0xFFFFFFFF


# ---- RAR 4, from the published layout ----

def block4(kind, flags, body):
    head = bytes([kind]) + struct.pack("<HH", flags, 7 + len(body)) + body
    return struct.pack("<H", crc(head) & 0xFFFF) + head


def entry4(name, data, host=2, attr=0x20, flags=0x8000):
    body = struct.pack("<IIBIIBBHI", len(data), len(data), host, crc(data), 0x52645000, 20, 0x30,
                       len(name), attr) + name
    return block4(0x74, flags, body) + data


def rar4(entries):
    out = b"Rar!\x1a\x07\x00" + block4(0x73, 0, b"\0" * 6)
    for e in entries:
        out += entry4(*e)
    return out + b"\xc4\x3d\x7b\x00\x40\x07\x00"


# ---- RAR 5, from the published layout ----

def vint(v):
    out = b""
    while True:
        byte, v = v & 0x7F, v >> 7
        out += bytes([byte | (0x80 if v else 0)])
        if not v:
            return out


def block5(kind, fields, data=None, flags=0):
    if data is not None:
        flags |= 0x0002
    content = vint(kind) + vint(flags) + (vint(len(data)) if data is not None else b"") + fields
    head = vint(len(content)) + content
    return struct.pack("<I", crc(head)) + head + (data or b"")


def entry5(name, data, directory=False):
    flags = 0x0003 if directory else 0x0006
    fields = vint(flags) + vint(len(data)) + vint(0o40755 if directory else 0o100644) + struct.pack("<I", 1614852000)
    if not directory:
        fields += struct.pack("<I", crc(data))
    fields += vint(0) + vint(1) + vint(len(name)) + name
    return block5(2, fields, data)


def link5(name, target):
    """A Unix symbolic link: a file header whose extra area holds a redirection record."""
    record = vint(5) + vint(1) + vint(0) + vint(len(target)) + target
    extra = vint(len(record)) + record
    fields = vint(0x0002) + vint(0) + vint(0o120777) + struct.pack("<I", 1614852000) + vint(0) + vint(1)
    fields += vint(len(name)) + name
    content = vint(2) + vint(0x0003) + vint(len(extra)) + vint(0) + fields + extra
    head = vint(len(content)) + content
    return struct.pack("<I", crc(head)) + head


def rar5(entries, before=b""):
    """Stored entries; `before` (a link, which only libarchive reads) goes first."""
    out = b"Rar!\x1a\x07\x01\x00" + block5(1, vint(0)) + before
    for e in entries:
        out += entry5(*e)
    return out + block5(5, vint(0))


def seeds():
    big = bytes((i * 7919) % 251 for i in range(3000))
    gbk = "讲义.txt".encode("gbk")
    four = rar4([(b"a.txt", b"alpha"), (b"sub", b"", 2, 0x10, 0x80E0), (b"sub\\b.bin", big),
                 (gbk, "第一章".encode("utf-8")), (b"lnk", b"sub/b.bin", 3, 0o120777), (b"c.txt", b"")])
    five = rar5([(b"a.txt", b"alpha"), (b"sub", b"", True), (b"sub/b.bin", big),
                 ("讲义.txt".encode("utf-8"), b"x"), (b"c.txt", b"")])
    linked = rar5([(b"a.txt", b"alpha"), (b"sub", b"", True), (b"sub/b.bin", big), (b"c.txt", b"")],
                  link5(b"lnk", b"a.txt"))
    program = b"MZ" + b"\x90" * (64 * 1024 - 2)
    files = {"a.txt": b"alpha", "sub/b.bin": big, "讲义.txt": None, "c.txt": b""}
    seeds = {"rar4": four, "rar5": five, "rar5link": linked, "sfx4": program + four, "sfx5": program + five}
    return seeds, files


def unexpected(dest, files):
    """Files an unpack that said it succeeded wrote with a content the sound archive does not have."""
    wrong = []
    for folder, _, names in os.walk(dest):
        for name in names:
            path = os.path.join(folder, name)
            rel = os.path.relpath(path, dest)
            if os.path.islink(path):
                continue
            with open(path, "rb") as f:
                content = f.read()
            if rel not in files or (files[rel] is not None and files[rel] != content):
                wrong.append(rel)
    return wrong


def mutate(rng, data, start):
    data = bytearray(data)
    how = rng.choice(["flip", "flip", "bytes", "cut", "insert", "delete", "vint"])
    lo = min(start, len(data) - 1)
    if how == "cut":
        return bytes(data[:rng.randrange(lo, len(data))]), how
    for _ in range(rng.randint(1, 4)):
        at = rng.randrange(lo, len(data))
        if how == "flip":
            data[at] ^= 1 << rng.randrange(8)
        elif how == "bytes":
            data[at] = rng.choice([0, 0xFF, 0x7F, 0x80, rng.randrange(256)])
        elif how == "insert":
            data[at:at] = bytes(rng.randrange(256) for _ in range(rng.randint(1, 8)))
        elif how == "delete":
            del data[at:at + rng.randint(1, 8)]
        else:  # a long variable-length integer, where RAR 5 has its sizes
            data[at:at + 1] = b"\xff" * rng.randint(1, 10) + b"\x01"
    return bytes(data), how


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("winrar")
    parser.add_argument("--cases", type=int, default=3000)
    parser.add_argument("--seed", type=int, default=24)
    parser.add_argument("--limit", type=float, default=10.0, help="seconds a case may take")
    args = parser.parse_args()

    env = dict(os.environ, LC_ALL="C",
               ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:new_delete_type_mismatch=0:suppressions=%s/asan.supp" % SUPP,
               LSAN_OPTIONS="suppressions=%s/lsan.supp:print_suppressions=0" % SUPP,
               UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=%s/ubsan.supp" % SUPP)
    rng = random.Random(args.seed)
    bases, files = seeds()
    codes = collections.Counter()
    kinds = collections.Counter()
    failures = []
    work = tempfile.mkdtemp(prefix="winrar-fuzz-")
    try:
        for case in range(args.cases):
            kind = rng.choice(sorted(bases))
            start = 64 * 1024 if kind.startswith("sfx") else 0
            data, how = mutate(rng, bases[kind], start)
            root = os.path.join(work, "case")
            shutil.rmtree(root, ignore_errors=True)
            os.makedirs(os.path.join(root, "src"))
            archive = os.path.join(root, "x.rar")
            with open(archive, "wb") as f:
                f.write(data)
            adding = kind == "rar4" and rng.random() < 0.2
            if adding:
                with open(os.path.join(root, "src", "new.txt"), "w") as f:
                    f.write("new")
                argv = [args.winrar, "a", "-m0", "-ep1", "-r", archive, os.path.join(root, "src") + "/*.*"]
            else:
                argv = [args.winrar, "X", "-o+", archive, "*.*", os.path.join(root, "dest")]
            label = "%s/%s/%s" % (kind, how, "a" if adding else "X")
            kinds[label.rsplit("/", 1)[1] + " " + kind] += 1
            try:
                r = subprocess.run(argv, env=env, capture_output=True, timeout=args.limit)
            except subprocess.TimeoutExpired:
                codes["timeout"] += 1
                failures.append((case, label, "timeout", b""))
                continue
            codes[r.returncode] += 1
            err = r.stderr
            bad = None
            if r.returncode < 0:
                bad = "signal %d" % -r.returncode
            elif b"Sanitizer" in err or b"runtime error:" in err:
                bad = "sanitizer report"
            elif sorted(os.listdir(root)) not in (["src", "x.rar"], ["dest", "src", "x.rar"]):
                bad = "wrote outside its destination: %s" % sorted(os.listdir(root))
            elif not adding and r.returncode == 0 and unexpected(os.path.join(root, "dest"), files):
                bad = "said it succeeded with files the archive does not hold: %s" % unexpected(
                    os.path.join(root, "dest"), files)
            if bad:
                failures.append((case, label, bad, err))
                keep = os.path.join(work, "failed-%d.rar" % case)
                with open(keep, "wb") as f:
                    f.write(data)
    finally:
        print("cases: %d" % args.cases)
        print("commands and seeds: " + ", ".join("%s: %d" % kv for kv in sorted(kinds.items())))
        print("exit codes: " + ", ".join("%s: %d" % (k, v) for k, v in sorted(codes.items(), key=str)))
        print("failures: %d" % len(failures))
        for case, label, why, err in failures[:20]:
            print("  case %d (%s): %s" % (case, label, why))
            print("    " + err.decode("utf-8", "replace")[:2000].replace("\n", "\n    "))
        if not failures:
            shutil.rmtree(work, ignore_errors=True)
        else:
            print("failing archives kept in " + work)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
