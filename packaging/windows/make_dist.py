#!/usr/bin/env python3
"""Makes the Windows deliverables from the folder that cmake --install filled.

    make_dist.py STAGE DIST VERSION

DIST receives ombra-VERSION-windows.zip, to unpack into the classroom's shared
folder, and ombra-VERSION-windows-setup.exe, the per-user installer.
"""

import pathlib
import re
import subprocess
import sys
import zipfile

HERE = pathlib.Path(__file__).resolve().parent
NSIS_SCRIPT = HERE.parent.parent / "packaging" / "windows" / "ombra.nsi"


def windows_text(path: pathlib.Path) -> None:
    """The README as Notepad reads it everywhere: UTF-8 with a BOM, CR LF."""
    text = path.read_text(encoding="utf-8").replace("\r\n", "\n")
    path.write_bytes(b"\xef\xbb\xbf" + text.replace("\n", "\r\n").encode("utf-8"))


def strip_binaries(stage: pathlib.Path) -> None:
    """Debug symbols off: Debian's mingw runtime and the Qt DLLs carry them,
    more than half of the folder."""
    for binary in list(stage.rglob("*.exe")) + list(stage.rglob("*.dll")):
        subprocess.run(["x86_64-w64-mingw32-strip", "--strip-unneeded", str(binary)], check=True)


def imported_dlls(binary: pathlib.Path) -> list[str]:
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", str(binary)],
                          check=True, capture_output=True, text=True).stdout
    return re.findall(r"DLL Name: (\S+)", dump)


# What Qt loads at run time without an import table naming it: the plugins
# that a Qt library needs beside the programs.
PLUGINS = {
    "qt6gui.dll": ["platforms/qwindows.dll"],
    "qt6widgets.dll": ["styles/qwindowsvistastyle.dll"],
}


def check_complete(stage: pathlib.Path) -> None:
    """Every Qt or compiler runtime DLL that a program or plugin loads is in
    the folder, with the plugins those DLLs load; the rest are Windows' own.
    A teacher's program with the tablet gateway comes with the gateway on
    its own (ombra-gateway.exe)."""
    present = {p.relative_to(stage).as_posix().lower() for p in stage.rglob("*.dll")}
    names = {pathlib.PurePosixPath(p).name for p in present}
    missing = set()
    for binary in list(stage.rglob("*.exe")) + list(stage.rglob("*.dll")):
        for dll in imported_dlls(binary):
            if re.match(r"(qt6|lib)", dll, re.I) and dll.lower() not in names:
                missing.add(f"{dll} (for {binary.relative_to(stage)})")
    for library, plugins in PLUGINS.items():
        if library in present:
            missing.update(f"{p} (for {library})" for p in plugins if p not in present)
    if "qt6httpserver.dll" in (d.lower() for d in imported_dlls(stage / "Teacher.exe")):
        if not (stage / "ombra-gateway.exe").is_file():
            missing.add("ombra-gateway.exe (the Teacher.exe has the gateway)")
    if missing:
        sys.exit("missing from the Windows folder: " + ", ".join(sorted(missing)))


def make_zip(stage: pathlib.Path, target: pathlib.Path) -> None:
    # zipfile marks non-ASCII names as UTF-8, which Windows' Explorer reads.
    with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
        for path in sorted(stage.rglob("*")):
            if path.is_file():
                archive.write(path, path.relative_to(stage).as_posix())


def main() -> None:
    stage, dist, version = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2]), sys.argv[3]
    dist.mkdir(parents=True, exist_ok=True)
    windows_text(stage / "README.txt")
    strip_binaries(stage)
    check_complete(stage)
    archive = dist / f"ombra-{version}-windows.zip"
    make_zip(stage, archive)
    setup = dist / f"ombra-{version}-windows-setup.exe"
    subprocess.run(["makensis", "-V2", "-INPUTCHARSET", "UTF8", f"-DVERSION={version}",
                    f"-DSTAGE={stage.resolve()}", f"-DOUTFILE={setup.resolve()}", str(NSIS_SCRIPT)],
                   check=True)
    print(archive)
    print(setup)


if __name__ == "__main__":
    main()
