#!/usr/bin/python3
"""Checks a built xemidi.dll and its import library.

    check_dll.py --dll xemidi.dll --import-library libxemidi.dll.a \
                 --exports build/win32/xemidi_exports.table --machine i386 \
                 --version MAJOR.MINOR.PATCH.TWEAK [--nm NM] [--objdump OBJDUMP]

Checked: the machine, that the file is a DLL, the module name in the export
directory, the export table (exactly the listed names at their ordinals),
the imported DLLs (system DLLs only), the symbols of the import library
(__stdcall-decorated on 32-bit: _CreateSmf@4 and __imp__CreateSmf@4) and the
undecorated names it imports by, and the version resource. Every difference is printed; the exit status is 1 if
there was any.
"""
import argparse
import re
import subprocess
import sys

import pefile

MODULE_NAME = "xemidi.dll"
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "msvcrt.dll"}
STRING_TABLE = "041104b0"  # Japanese, Unicode
TRANSLATION = "0x0411 0x04b0"
FIXED_TEXT = {
    "CompanyName": "xemidi project",
    "ProductName": "xemidi",
    "InternalName": "xemidi",
    "OriginalFilename": "xemidi.dll",
}


class Report:
    def __init__(self):
        self.faults = []

    def check(self, ok, what):
        if not ok:
            self.faults.append(what)
        return ok

    def equal(self, found, expected, what):
        return self.check(found == expected, f"{what}: found {found!r}, expected {expected!r}")


def read_export_list(path):
    """(ordinal, name, argument bytes) of every export of the DLL."""
    exports = []
    with open(path, encoding="ascii") as lines:
        for line in lines:
            fields = line.split()
            if len(fields) == 3 and fields[0].isdigit():
                exports.append((int(fields[0]), fields[1], int(fields[2])))
    if not exports:
        raise SystemExit(f"{path}: no exports listed")
    return exports


def check_header(pe, machine, report):
    found = pefile.MACHINE_TYPE.get(pe.FILE_HEADER.Machine, hex(pe.FILE_HEADER.Machine))
    report.equal(found, "IMAGE_FILE_MACHINE_" + machine, "machine")
    report.check(pe.FILE_HEADER.Characteristics & 0x2000, "not a DLL (IMAGE_FILE_DLL unset)")


def check_exports(pe, expected, report):
    if not report.check(hasattr(pe, "DIRECTORY_ENTRY_EXPORT"), "no export directory"):
        return
    directory = pe.DIRECTORY_ENTRY_EXPORT
    report.equal((directory.name or b"").decode("ascii", "replace"), MODULE_NAME, "module name")
    found = {}
    for symbol in directory.symbols:
        name = symbol.name.decode("ascii", "replace") if symbol.name else None
        report.check(name is not None, f"export by ordinal only: {symbol.ordinal}")
        report.check(symbol.forwarder is None, f"forwarded export: {name}")
        found[symbol.ordinal] = name
    wanted = {ordinal: name for ordinal, name, _ in expected}
    for ordinal in sorted(set(found) | set(wanted)):
        if found.get(ordinal) != wanted.get(ordinal):
            report.faults.append(
                f"export ordinal {ordinal}: found {found.get(ordinal)!r}, "
                f"expected {wanted.get(ordinal)!r}")
    report.equal(directory.struct.NumberOfFunctions, len(wanted), "number of exported functions")
    report.equal(directory.struct.NumberOfNames, len(wanted), "number of exported names")


def check_imports(pe, report):
    dlls = [entry.dll.decode("ascii", "replace")
            for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    for dll in dlls:
        system = dll.lower() in SYSTEM_DLLS or dll.lower().startswith("api-ms-win-")
        report.check(system, f"imports a non-system DLL: {dll}")
    report.check(any(d.lower() == "kernel32.dll" for d in dlls), f"no KERNEL32 import: {dlls}")


def import_library_symbols(nm, path):
    """{symbol: type letter} of the defined symbols of the import library."""
    out = subprocess.run([nm, "--defined-only", path], check=True, capture_output=True,
                         text=True).stdout
    symbols = {}
    for line in out.splitlines():
        match = re.fullmatch(r"[0-9a-fA-F]+ ([A-Za-z]) (\S+)", line.strip())
        if match:
            symbols[match.group(2)] = match.group(1)
    return symbols


def import_library_names(objdump, path):
    """The names that the import library's members import by: the text after
    the two-byte hint in each member's .idata$6 section."""
    out = subprocess.run([objdump, "-s", "-j", ".idata$6", path], check=True,
                         capture_output=True, text=True).stdout
    names = []
    for section in out.split("Contents of section .idata$6:")[1:]:
        data = bytearray()
        for line in section.splitlines()[1:]:
            match = re.match(r" [0-9a-f]{4,} ((?:[0-9a-f]{2,8} ?)+)", line)
            if not match:
                break
            data += bytes.fromhex(match.group(1).replace(" ", ""))
        names.append(data[2:].split(b"\0")[0].decode("ascii", "replace"))
    return names


def check_import_library(tools, path, expected, machine, report):
    nm, objdump = tools
    symbols = import_library_symbols(nm, path)
    if machine == "I386":  # __stdcall: _Name@bytes
        wanted = {f"_{name}@{size}" for _, name, size in expected}
    else:
        wanted = {name for _, name, _ in expected}
    imports = {s[len("__imp_"):] for s in symbols if s.startswith("__imp_")}
    for name in sorted(wanted - imports):
        report.faults.append(f"import library lacks __imp_{name}")
    for name in sorted(imports - wanted):
        report.faults.append(f"import library has an unexpected __imp_{name}")
    for name in sorted(wanted):
        report.equal(symbols.get(name), "T", f"import library thunk {name}")
    # The DLL exports undecorated names; the import library must ask for them.
    names = import_library_names(objdump, path)
    report.equal(sorted(names), sorted(name for _, name, _ in expected),
                 "names imported through the import library")


def version_words(version):
    parts = [int(p) for p in version.split(".")]
    if len(parts) != 4:
        raise SystemExit(f"version {version!r} has not four parts")
    return (parts[0] << 16 | parts[1], parts[2] << 16 | parts[3]), ", ".join(map(str, parts))


def string_tables(pe):
    tables, translations = {}, []
    for info in getattr(pe, "FileInfo", []):
        for block in info:
            if block.Key == b"StringFileInfo":
                for table in block.StringTable:
                    tables[table.LangID.decode("ascii", "replace").lower()] = {
                        k.decode("utf-8", "replace"): v.decode("utf-8", "replace")
                        for k, v in table.entries.items()}
            elif block.Key == b"VarFileInfo":
                for var in block.Var:
                    translations.append(var.entry.get(b"Translation"))
    return tables, translations


def check_version(pe, version, report):
    words, text = version_words(version)
    if not report.check(hasattr(pe, "VS_FIXEDFILEINFO"), "no version resource"):
        return
    fixed = pe.VS_FIXEDFILEINFO[0]
    report.equal((fixed.FileVersionMS, fixed.FileVersionLS), words, "FILEVERSION")
    report.equal((fixed.ProductVersionMS, fixed.ProductVersionLS), words, "PRODUCTVERSION")
    report.equal(fixed.FileType, 2, "FILETYPE (VFT_DLL)")
    tables, translations = string_tables(pe)
    report.equal(sorted(tables), [STRING_TABLE], "string tables")
    report.equal(translations, [TRANSLATION], "VarFileInfo Translation")
    strings = tables.get(STRING_TABLE, {})
    for key, value in dict(FIXED_TEXT, FileVersion=text, ProductVersion=text).items():
        report.equal(strings.get(key), value, key)
    description = strings.get("FileDescription", "")
    report.check(description.strip() and "\n" not in description,
                 f"FileDescription is not one line of text: {description!r}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dll", required=True)
    parser.add_argument("--import-library", required=True)
    parser.add_argument("--exports", required=True,
                        help="the build's xemidi_exports.table (ordinal, name, argument bytes)")
    parser.add_argument("--machine", required=True, choices=["i386", "AMD64"])
    parser.add_argument("--version", required=True, help="the four parts of the version in xemidi.h, as in 1.2.3.4")
    parser.add_argument("--nm", help="nm of the toolchain (default: by machine)")
    parser.add_argument("--objdump", help="objdump of the toolchain (default: by machine)")
    args = parser.parse_args()
    machine = args.machine.upper()
    triplet = ("i686" if machine == "I386" else "x86_64") + "-w64-mingw32-"
    tools = (args.nm or triplet + "nm", args.objdump or triplet + "objdump")

    expected = read_export_list(args.exports)
    report = Report()
    pe = pefile.PE(args.dll)
    check_header(pe, args.machine.replace("i386", "I386"), report)
    check_exports(pe, expected, report)
    check_imports(pe, report)
    check_import_library(tools, args.import_library, expected, machine, report)
    check_version(pe, args.version, report)

    for fault in report.faults:
        print(f"FAIL {args.dll}: {fault}")
    if report.faults:
        return 1
    print(f"{args.dll}: {args.machine}, {len(expected)} exports at their ordinals, "
          f"system imports only, import library and version {args.version} as expected")
    return 0


if __name__ == "__main__":
    sys.exit(main())
