#!/usr/bin/env python3
"""Asks this machine whether it runs 32-bit x86 code, without any program of
the project: it writes the smallest static i386 Linux program (exit(0) by
int 0x80) and starts it. A kernel built without 32-bit support refuses it
with "Exec format error"; Wine's wow64 mode needs the same support to enter
32-bit code, so such a machine cannot run the 32-bit tree's Wine tests.

Prints "yes" or "no: REASON" and exits 0 either way. Only that one refusal
says no: any other failure to start the probe says yes, so that the tests
run and their failures show. QDX_RUNS_32BIT=yes or =no overrides the probe.

    probe-32bit.py [DIR]    (DIR: where to write the probe; a temporary one by default)
"""
import errno
import os
import struct
import subprocess
import sys
import tempfile

BASE = 0x08048000
CODE = bytes([0xB8, 1, 0, 0, 0,   # mov eax, 1 (exit)
              0x31, 0xDB,         # xor ebx, ebx
              0xCD, 0x80])        # int 0x80


def program():
    ehsize, phsize = 52, 32
    entry = BASE + ehsize + phsize
    size = ehsize + phsize + len(CODE)
    ident = b"\x7fELF" + bytes([1, 1, 1, 0]) + bytes(8)  # 32-bit, little-endian, version 1
    header = ident + struct.pack("<HHIIIIIHHHHHH", 2, 3, 1, entry, ehsize, 0, 0,
                                 ehsize, phsize, 1, 0, 0, 0)  # executable, i386
    segment = struct.pack("<IIIIIIII", 1, 0, BASE, BASE, size, size, 5, 0x1000)  # load, r-x
    return header + segment + CODE


def probe(folder):
    path = os.path.join(folder, "probe32")
    with open(path, "wb") as f:
        f.write(program())
    os.chmod(path, 0o755)
    try:
        status = subprocess.run([path], stdin=subprocess.DEVNULL, timeout=10).returncode
    except OSError as e:
        if e.errno == errno.ENOEXEC:
            return "no: the kernel refuses 32-bit programs (a static i386 program: Exec format error)"
        return "yes (the probe could not be started: %s; the 32-bit tests run)" % e.strerror
    except subprocess.TimeoutExpired:
        return "yes (the probe did not end; the 32-bit tests run)"
    if status != 0:
        return "yes (the probe ended with %d; the 32-bit tests run)" % status
    return "yes"


def main():
    forced = os.environ.get("QDX_RUNS_32BIT", "")
    if forced in ("yes", "no"):
        print(forced if forced == "yes" else "no: QDX_RUNS_32BIT=no")
        return 0
    if len(sys.argv) > 1:
        os.makedirs(sys.argv[1], exist_ok=True)
        print(probe(sys.argv[1]))
    else:
        with tempfile.TemporaryDirectory() as folder:
            print(probe(folder))
    return 0


if __name__ == "__main__":
    sys.exit(main())
