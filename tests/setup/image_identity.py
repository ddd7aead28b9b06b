#!/usr/bin/python3
"""Reads back what the built executable tells the system and inventory tools
about itself: the version resource, the security flags of its header, its
load configuration and its checksum.

    image_identity.py PROGRAM.exe [SETUP.exe]   (the package shows the program's header)
"""
import sys

import pefile

EXPECTED_STRINGS = {
    "CompanyName": "Tallowind",
    "ProductName": "QDX Remote Control",
    "FileDescription": "QDX Remote Control",
    "FileVersion": "1.0.0.0",
    "ProductVersion": "1.0.0.0",
    "OriginalFilename": "qdxremote.exe",
}
LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x0800
FLAGS = {  # DllCharacteristics
    "IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE": 0x0040,
    "IMAGE_DLLCHARACTERISTICS_NX_COMPAT": 0x0100,
    "IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE": 0x8000,
}
HIGH_ENTROPY_VA = 0x0020


def main(path, package=False):
    pe = pefile.PE(path)
    failures = []

    def check(what, ok, got):
        print(("ok   " if ok else "FAIL ") + what + ": " + str(got))
        if not ok:
            failures.append(what)

    strings = {}
    for info in getattr(pe, "FileInfo", None) or []:
        for entry in info:
            for table in getattr(entry, "StringTable", []):
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    for name, value in EXPECTED_STRINGS.items():
        check(name, strings.get(name) == value, strings.get(name))
    check("LegalCopyright", "Tallowind" in strings.get("LegalCopyright", ""), strings.get("LegalCopyright"))
    fixed = pe.VS_FIXEDFILEINFO[0] if getattr(pe, "VS_FIXEDFILEINFO", None) else None
    numbers = (fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS, fixed.ProductVersionLS) if fixed else None
    check("fixed file and product version 1.0.0.0", numbers == (0x10000, 0, 0x10000, 0), numbers)

    characteristics = pe.OPTIONAL_HEADER.DllCharacteristics
    for name, bit in FLAGS.items():
        check(name, characteristics & bit == bit, hex(characteristics))
    wide = pe.OPTIONAL_HEADER.Magic == 0x20B
    check("high-entropy ASLR at 64 bits", bool(characteristics & HIGH_ENTROPY_VA) == wide, hex(characteristics))

    load_config = getattr(pe, "DIRECTORY_ENTRY_LOAD_CONFIG", None)
    # Older pefile releases name the field by its first meaning, Reserved1.
    flags = None
    if load_config:
        flags = getattr(load_config.struct, "DependentLoadFlags", getattr(load_config.struct, "Reserved1", None))
    check("load configuration's DependentLoadFlags", flags == LOAD_LIBRARY_SEARCH_SYSTEM32, flags)
    check("load configuration's size", load_config is not None and load_config.struct.Size == (112 if wide else 72),
          load_config.struct.Size if load_config else None)
    if not package:  # a package's header is its program's, checksum included
        check("PE checksum", pe.OPTIONAL_HEADER.CheckSum != 0 and pe.verify_checksum(), hex(pe.OPTIONAL_HEADER.CheckSum))
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    sys.exit(max(main(path, package=i > 0) for i, path in enumerate(sys.argv[1:])))
