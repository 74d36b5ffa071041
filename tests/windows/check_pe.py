#!/usr/bin/env python3
"""Reads the built Windows files as Windows will: Keystrel.exe is a GUI
program with its icon (one 48x48 32-bit image), version block and manifest;
Hubstone.dll and Vaultine.dll export the plug-in entry points under plain
names, Hubstone.dll also ShowLogFunc under its decorated name.

Usage: check_pe.py Keystrel.exe Hubstone.dll [Vaultine.dll]
"""
import struct
import sys

import pefile

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
SHOW_LOG = b"_Z11ShowLogFuncRK7QString"
LAUNCHER_ENTRIES = {b"initializePlugin", b"delayedInitialize", b"shutdownPlugin", b"pluginName"}
PLUGIN_ENTRIES = LAUNCHER_ENTRIES | {
    b"pluginWidget", b"pluginCategory", b"pluginDescription", b"pluginLicense", b"pluginType", b"pluginVersion"}

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def resources(pe, kind):
    """The data of every resource of one type, whatever its name and language."""
    found = []
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for entry in root.entries if root else []:
        if entry.id != kind:
            continue
        for name in entry.directory.entries:
            for language in name.directory.entries:
                data = language.data.struct
                found.append((name.id, pe.get_data(data.OffsetToData, data.Size)))
    return found


def check_launcher(path):
    pe = pefile.PE(path)
    check(pe.OPTIONAL_HEADER.Subsystem == 2, "Keystrel.exe: subsystem %d, not 2 (GUI)" % pe.OPTIONAL_HEADER.Subsystem)
    check(pe.FILE_HEADER.Machine == 0x8664, "Keystrel.exe: not x86-64")

    strings = {}
    for info in getattr(pe, "FileInfo", []):
        for block in info:
            for table in getattr(block, "StringTable", []):
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    expected = {"ProductName": "Keystrel", "OriginalFilename": "Keystrel.exe",
                "FileVersion": "0.0.0.0", "ProductVersion": "0.0.0.0"}
    for key, value in expected.items():
        check(strings.get(key) == value, "version block: %s is %r, not %r" % (key, strings.get(key), value))
    fixed = pe.VS_FIXEDFILEINFO[0] if getattr(pe, "VS_FIXEDFILEINFO", None) else None
    check(fixed is not None and (fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS,
                                 fixed.ProductVersionLS) == (0, 0, 0, 0), "fixed file info: versions not 0.0.0.0")

    manifests = resources(pe, RT_MANIFEST)
    check(len(manifests) == 1 and manifests[0][0] == 1, "one manifest, id 1 (the process's)")
    text = manifests[0][1].decode("utf-8") if manifests else ""
    check('level="asInvoker"' in text, "manifest: no asInvoker execution level")
    check('name="Microsoft.Windows.Common-Controls"' in text and 'version="6.0.0.0"' in text,
          "manifest: no dependency on Common Controls 6.0.0.0")

    groups = resources(pe, RT_GROUP_ICON)
    check(len(groups) == 1, "%d icon groups, not 1" % len(groups))
    if groups:
        data = groups[0][1]
        _, kind, count = struct.unpack_from("<HHH", data)
        check(kind == 1 and count == 1, "icon group: %d images, not one" % count)
        if count >= 1:
            width, height, _, _, _, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", data, 6)
            check((width, height, bits) == (48, 48, 32), "icon: %dx%d, %d bits" % (width, height, bits))
            icons = dict(resources(pe, RT_ICON))
            image = icons.get(icon_id, b"")
            check(len(image) == size, "icon image %d missing or of the wrong size" % icon_id)
            if len(image) >= 16:
                header_size, dib_width, dib_height, _, dib_bits = struct.unpack_from("<IiiHH", image)
                check((header_size, dib_width, dib_height, dib_bits) == (40, 48, 96, 32),
                      "icon image: not a 48x48 32-bit bitmap")


def exports(path):
    """Exported names and the address each stands for."""
    pe = pefile.PE(path)
    table = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
    return {symbol.name: symbol.address for symbol in table.symbols if symbol.name} if table else {}


def check_plugin_exports(path, wanted, name):
    have = exports(path)
    for symbol in sorted(wanted - set(have)):
        failures.append("%s: no export %s" % (name, symbol.decode()))
    return have


def main():
    launcher, hubstone = sys.argv[1], sys.argv[2]
    check_launcher(launcher)
    have = check_plugin_exports(hubstone, LAUNCHER_ENTRIES | {SHOW_LOG}, "Hubstone.dll")
    check(b"ShowLogFunc" not in have, "Hubstone.dll: ShowLogFunc under a plain name")
    if len(sys.argv) > 3:
        vaultine = sys.argv[3]
        have = check_plugin_exports(vaultine, PLUGIN_ENTRIES, "Vaultine.dll")
        check(have.get(b"pluginLicense") == have.get(b"pluginDescription"),
              "Vaultine.dll: pluginLicense is not the same function as pluginDescription")
        imports = {imp.name for entry in pefile.PE(vaultine).DIRECTORY_ENTRY_IMPORT
                   if entry.dll.lower() == b"hubstone.dll" for imp in entry.imports}
        check(SHOW_LOG in imports, "Vaultine.dll: does not import ShowLogFunc from Hubstone.dll")
    for failure in failures:
        print("FAIL:", failure)
    print("%d checks failed" % len(failures) if failures else "PE files as expected")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
