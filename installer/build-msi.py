#!/usr/bin/env python3
"""Builds qdxremote.msi from qdxremote.wxs with wixl, then adds with msibuild
what wixl 0.101 cannot express: component conditions and permanence, the
custom actions' places in the sequences, same-version upgrades, and the
removal of what the setup package leaves.

  build-msi.py --out OUT.msi --dir TREE --dll qdxpreset.dll --arch x86|x64
               [--version-header src/res/version.h] [--version X.Y.Z.W]

TREE holds the program, the help file and the help pages (a Windows build
tree). The program is installed as the setup installs it: with the 4-byte
NO_MARKER behind its image unless it is signed (a signed program stays as
signed, and runs as the client all the same).
"""
import argparse
import pathlib
import re
import shutil
import struct
import subprocess
import sys

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent
HELP_PAGES = ["qdxremote.html", "qdxremote-users-guide.html", "qdxremote-installation.html",
              "qdxremote-network-admin.html", "qdxremote-settings.html", "qdxremote-licence.html"]
PRESETS = ["SERVER", "CHANNEL", "USERNAME", "PASSWORD", "PROMPTFORDATA", "USEHOTKEYS", "PROMPT"]
PERMANENT = 16  # msidbComponentAttributesPermanent
SETUP_UNINSTALL_KEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\QDXRemote"


def header_text(path, pattern):
    match = re.search(pattern, pathlib.Path(path).read_text())
    if not match:
        sys.exit(f"build-msi: {pattern} not found in {path}")
    return match.group(1)


def signed(image):
    """True when the PE image has a certificate table."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    magic = struct.unpack_from("<H", image, pe + 24)[0]
    directories = pe + 24 + (112 if magic == 0x20B else 96)
    offset, size = struct.unpack_from("<II", image, directories + 4 * 8)
    return offset != 0 and size != 0


def run(*args, cwd=None):
    result = subprocess.run(args, capture_output=True, text=True, cwd=cwd)
    if result.returncode != 0:
        sys.exit(f"build-msi: {' '.join(map(str, args))} failed:\n{result.stdout}{result.stderr}")
    return result.stdout


def table(msi, name):
    rows = run("msiinfo", "export", msi, name).splitlines()
    columns = rows[0].split("\t")
    return [dict(zip(columns, row.split("\t"))) for row in rows[3:]]


def quote(text):
    return "'" + text.replace("'", "''") + "'"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--dir", required=True)
    parser.add_argument("--dll", required=True)
    parser.add_argument("--arch", choices=["x86", "x64", "auto"], default="auto",
                        help="auto: as the program's machine type")
    parser.add_argument("--version-header", default=str(ROOT / "src/res/version.h"))
    parser.add_argument("--version", help="instead of the header's (for test packages)")
    args = parser.parse_args()

    version = args.version or header_text(args.version_header, r'#define QDX_FILE_VERSION_TEXT "([0-9.]+)"')
    upgrade_code = header_text(ROOT / "src/core/product.h", r'kPackageUpgradeCode\[\] = "\{([0-9A-F-]+)\}"')
    out = pathlib.Path(args.out).resolve()
    tree = pathlib.Path(args.dir)
    stage = out.with_suffix(".stage")
    shutil.rmtree(stage, ignore_errors=True)
    stage.mkdir(parents=True)

    program = (tree / "qdxremote.exe").read_bytes()
    if args.arch == "auto":
        pe = struct.unpack_from("<I", program, 0x3C)[0]
        args.arch = "x64" if struct.unpack_from("<H", program, pe + 4)[0] == 0x8664 else "x86"
    if not signed(program):
        program += b"\0\0\0\0"  # NO_MARKER: the installed program
    (stage / "qdxremote.exe").write_bytes(program)
    for name in ["qdxremote.hlp"] + HELP_PAGES:
        shutil.copyfile(tree / name, stage / name)
    shutil.copyfile(args.dll, stage / "qdxpreset.dll")

    win64 = args.arch == "x64"
    building = out.with_suffix(".building")
    building.unlink(missing_ok=True)
    run("wixl", "-a", args.arch, "-o", building,
        "-D", f"Version={version}", "-D", f"UpgradeCode={upgrade_code}", "-D", "Stage=.",
        "-D", f"Win64={'yes' if win64 else 'no'}",
        "-D", f"ProgramFilesFolder={'ProgramFiles64Folder' if win64 else 'ProgramFilesFolder'}",
        HERE / "qdxremote.wxs", cwd=stage)  # wixl takes file sources relative to its folder only

    queries = []
    conditions = {f"Preset{p}": f"QDX_PRESET_{p}" for p in PRESETS}
    conditions.update({"Desktop": 'NOT DESKTOPSHORTCUT="0"', "MenuHelpFile": "NOT QDX_HELP_PAGES",
                       "MenuHelpPages": "QDX_HELP_PAGES"})
    permanent = {f"Preset{p}" for p in PRESETS} | {"Folders", "Logs"}
    for row in table(building, "Component"):
        name, attributes = row["Component"], int(row["Attributes"])
        if name in permanent:
            attributes |= PERMANENT
        sets = [f"`Attributes` = {attributes}"]
        if name in conditions:
            sets.append(f"`Condition` = {quote(conditions[name])}")
        queries.append(f"UPDATE `Component` SET {', '.join(sets)} WHERE `Component` = {quote(name)}")

    secure = [r["Value"] for r in table(building, "Property") if r["Property"] == "SecureCustomProperties"]
    secure = ";".join(secure + PRESETS + ["DESKTOPSHORTCUT"])
    queries.append(f"DELETE FROM `Property` WHERE `Property` = 'SecureCustomProperties'")
    queries.append(f"INSERT INTO `Property` (`Property`, `Value`) VALUES ('SecureCustomProperties', {quote(secure)})")

    # wixl puts every custom action at the end of its sequence: they go where
    # the source says. The presets are checked (and the repair chosen) before
    # costing, so that the component conditions see them, and long before
    # anything changes; the shortcut folders are set before the costing that
    # resolves the folders below them, and the folder values follow it. The
    # Logs folder's access list follows the making of the folders.
    places = {"QdxCheckPresets": 110, "QdxRepairAll": 120, "QdxShortcutFolders": 130, "QdxFolderValues": 1010,
              "QdxApplyLogsAccess": 3710}
    for sequence in ("InstallUISequence", "InstallExecuteSequence"):
        used = {int(r["Sequence"]) for r in table(building, sequence) if r["Action"] not in places}
        present = {r["Action"] for r in table(building, sequence)}
        for action, number in places.items():
            if action not in present:
                continue
            assert number not in used, (sequence, number)
            queries.append(f"UPDATE `{sequence}` SET `Sequence` = {number} WHERE `Action` = {quote(action)}")

    # The same version again (a rebuild: another product code) replaces
    # the installed one instead of being installed beside it.
    # (Attributes is part of the table's key: the row is made anew.)
    queries.append("DELETE FROM `Upgrade` WHERE `ActionProperty` = 'WIX_UPGRADE_DETECTED'")
    queries.append("INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMax`, `Attributes`, `ActionProperty`) "
                   f"VALUES ('{{{upgrade_code}}}', {quote(version)}, 513, 'WIX_UPGRADE_DETECTED')")

    # An install the setup package made becomes the package's: the files
    # and shortcuts are the same and are replaced; its uninstall entry goes
    # and so does its uninstaller, uninst.exe.
    queries.append("INSERT INTO `RemoveFile` (`FileKey`, `Component_`, `FileName`, `DirProperty`, `InstallMode`) "
                   "VALUES ('SetupUninstaller', 'Program', 'uninst.exe', 'INSTALLDIR', 1)")
    queries.append("CREATE TABLE `RemoveRegistry` (`RemoveRegistry` CHAR(72) NOT NULL, `Root` SHORT NOT NULL, "
                   "`Key` CHAR(255) NOT NULL LOCALIZABLE, `Name` CHAR(255) LOCALIZABLE, "
                   "`Component_` CHAR(72) NOT NULL PRIMARY KEY `RemoveRegistry`)")
    queries.append("INSERT INTO `RemoveRegistry` (`RemoveRegistry`, `Root`, `Key`, `Name`, `Component_`) "
                   f"VALUES ('SetupEntry', 2, {quote(SETUP_UNINSTALL_KEY)}, '-', 'Program')")
    run("msibuild", building, *[part for q in queries for part in ("-q", q)])
    building.replace(out)
    print(f"build-msi: {out.name} {version} ({args.arch})")


if __name__ == "__main__":
    main()
