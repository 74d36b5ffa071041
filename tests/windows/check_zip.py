#!/usr/bin/env python3
"""Checks Keystrel-<version>-win64.zip: the program, its plug-ins, the Qt and
MinGW DLLs that the files import and no others, Qt's SVG icon engine and
Chinese translation, and the licences. Every DLL that a file imports is
either in the zip or part of Windows; Qt's notice names every file of Qt
shipped; no licence sends the reader to a Debian path.

Usage: check_zip.py ZIP ENGINE_BUILT(ON/OFF)
"""
import os
import sys
import zipfile

import pefile

# What Windows itself provides, as the Qt and MinGW files import it.
SYSTEM = {name.lower() for name in (
    "ADVAPI32.dll", "KERNEL32.dll", "MPR.dll", "msvcrt.dll", "NETAPI32.dll", "ole32.dll", "OLEAUT32.dll",
    "SHELL32.dll", "USER32.dll", "USERENV.dll", "VERSION.dll", "WINMM.dll", "WS2_32.dll", "d3d11.dll", "dxgi.dll",
    "GDI32.dll", "dwmapi.dll", "UxTheme.dll", "IMM32.dll", "WTSAPI32.dll", "comdlg32.dll", "IPHLPAPI.DLL",
    "DNSAPI.dll", "CRYPT32.dll", "SHLWAPI.dll", "bcrypt.dll", "COMCTL32.dll")}
LICENSES = ["Keystrel-copyright.txt", "NOTICE.txt", "Roboto-LICENSE.txt", "Material-Design-Icons-LICENSE.txt",
            "Qt-NOTICE.txt", "Qt-copyright.txt", "Qt-SVG-copyright.txt", "Qt-translations-copyright.txt", "LGPL-3.txt",
            "GPL-3.txt", "MinGW-GCC-runtime-copyright.txt", "MinGW-w64-copyright.txt"]


def main():
    path, engine = sys.argv[1], sys.argv[2].upper() in ("ON", "1", "TRUE", "YES")
    top = os.path.basename(path)[:-len(".zip")]
    failures = []
    archive = zipfile.ZipFile(path)
    names = [n[len(top) + 1:] for n in archive.namelist() if n.startswith(top + "/") and not n.endswith("/")]
    if len(names) != len([n for n in archive.namelist() if not n.endswith("/")]):
        failures.append("files outside the folder %s/" % top)

    wanted = ["Keystrel.exe", "Plugin/Hubstone.dll", "platforms/qwindows.dll", "Qt5Core.dll", "Qt5Gui.dll",
              "Qt5Widgets.dll", "libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll",
              # The bundled icons are SVG files; Qt's own texts in Chinese.
              "Qt5Svg.dll", "iconengines/qsvgicon.dll", "translations/qtbase_zh_CN.qm"]
    wanted += ["licenses/" + n for n in LICENSES]
    if engine:
        wanted += ["Plugin/Vaultine.dll", "keystrel-cli.exe"]
    for name in wanted:
        if name not in names:
            failures.append("missing: " + name)

    beside = {n.lower() for n in names if "/" not in n}
    imported = set()
    for name in names:
        if not name.lower().endswith((".exe", ".dll")):
            continue
        pe = pefile.PE(data=archive.read(top + "/" + name))
        if pe.FILE_HEADER.Machine != 0x8664:
            failures.append("%s: not for x86-64" % name)
        for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
            dll = entry.dll.decode().lower()
            imported.add(dll)
            # The program's folder is searched for every file's imports;
            # the plug-ins' own folder for theirs.
            folder = {n.lower().split("/")[1] for n in names if n.startswith("Plugin/")} if name.startswith(
                "Plugin/") else set()
            if dll not in beside and dll not in folder and dll not in SYSTEM:
                failures.append("%s imports %s, which is neither in the zip nor part of Windows" % (name, dll))
    # keystrel-cli runs without any GUI library: Qt Core only.
    if engine and "keystrel-cli.exe" in names:
        pe = pefile.PE(data=archive.read(top + "/keystrel-cli.exe"))
        cli_imports = {e.dll.decode().lower() for e in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
        if "qt5core.dll" not in cli_imports or cli_imports & {"qt5gui.dll", "qt5widgets.dll"}:
            failures.append("keystrel-cli.exe must import Qt5Core.dll and no GUI library: %s" % sorted(cli_imports))
        if pe.OPTIONAL_HEADER.Subsystem != 3:
            failures.append("keystrel-cli.exe is not a console program")
    for name in beside:
        if name.endswith(".dll") and name not in imported:
            failures.append("%s is shipped but nothing imports it" % name)

    notice = archive.read(top + "/licenses/Qt-NOTICE.txt").decode() if "licenses/Qt-NOTICE.txt" in names else ""
    for name in names:
        if name.startswith(("Qt5", "platforms/", "iconengines/", "imageformats/", "translations/")):
            if name.replace("/", "\\") not in notice:
                failures.append("licenses/Qt-NOTICE.txt does not name %s" % name.replace("/", "\\"))
    copyright_name = "licenses/Keystrel-copyright.txt"
    if copyright_name in names:
        text = archive.read(top + "/" + copyright_name).decode()
        if "/usr/share/" in text:
            failures.append("%s sends the reader to a Debian path" % copyright_name)
        if "Roboto-LICENSE.txt" not in text:
            failures.append("%s does not name the Apache licence's file beside it" % copyright_name)

    for failure in failures:
        print("FAIL:", failure)
    print("%d checks failed" % len(failures) if failures else "%s: %d files as expected" % (top, len(names)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
