#!/usr/bin/env python3
"""Checks that the program's layers depend on each other one way only.

Each folder of src/ is a layer; a source file may include headers of its own
folder and of lower layers, never of a higher one or of a peer. The CMake
target of each folder links only lower layers as well. The core is platform-
free: no Windows or POSIX headers. Tools may use the core and nothing else of
src/. Prints every breach and exits 1 when there is one.
"""
import pathlib
import re
import sys

# Lower numbers are lower layers; folders with the same number are peers.
LAYERS = {
    "core": 0,      # plain functions over bytes, numbers and text
    "common": 1,    # owners of Win32 handles
    "settings": 2,  # the registry store and the data folders it records
    "res": 3,       # resource ids
    "ui": 4, "net": 4,
    "log": 5, "setup": 5,
    "app": 6,
}
TARGETS = {f"qdx_{name}": name for name in LAYERS}

ROOT = pathlib.Path(__file__).resolve().parent.parent
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)
SOURCES = ("*.cpp", "*.h", "*.rc")


def allowed(own, other):
    return other == own or LAYERS[other] < LAYERS[own]


def main():
    errors = []
    src = ROOT / "src"
    for folder in sorted(p for p in src.iterdir() if p.is_dir()):
        own = folder.name
        if own not in LAYERS:
            errors.append(f"src/{own}: a folder that is in no layer (add it to {pathlib.Path(__file__).name})")
            continue
        for pattern in SOURCES:
            for path in sorted(folder.glob(pattern)):
                rel = path.relative_to(ROOT)
                for kind, name in INCLUDE.findall(path.read_text(errors="replace")):
                    if kind == "<":
                        if own == "core" and name.endswith(".h"):
                            errors.append(f"{rel}: the core includes the platform header <{name}>")
                        continue
                    other = name.split("/")[0] if "/" in name else own
                    if other not in LAYERS:
                        continue
                    if not allowed(own, other):
                        errors.append(f"{rel}: {own} includes {name} of the layer above or beside it")
        cmake = folder / "CMakeLists.txt"
        if cmake.exists():
            for target in re.findall(r"\bqdx_[a-z]+\b", cmake.read_text()):
                other = TARGETS.get(target)
                if other and not allowed(own, other):
                    errors.append(f"{cmake.relative_to(ROOT)}: {own} links {target} of the layer above or beside it")

    for pattern in ("*.cpp", "*.h"):
        for path in sorted((ROOT / "tools").rglob(pattern)):
            for kind, name in INCLUDE.findall(path.read_text(errors="replace")):
                top = name.split("/")[0]
                if kind == '"' and "/" in name and top in LAYERS and top != "core":
                    errors.append(f"{path.relative_to(ROOT)}: a tool includes {name}; tools use only the core")

    for e in errors:
        print(e)
    print(f"include check: {len(errors)} breach{'es' if len(errors) != 1 else ''}")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
