#!/usr/bin/env python3
"""Checks the export and import tables of the module and of the network library, as the host's
loader meets them (read with llvm-readobj):

    check_dll_tables.py CVEX.DLL halvo_nm.dll

- CVEX.DLL exports exactly its two factories and the six decorated members, nothing else;
- it imports only from system DLLs, the C runtime, vcruntime140, msvcp140 and halvo_nm.dll, and
  every name it takes from halvo_nm.dll is decorated (the real library exports no other names);
- halvo_nm.dll exports only decorated members of CNM.

Each broken rule is printed with the name that breaks it; exit code 1 then, 0 when all hold.
"""

import os
import re
import subprocess
import sys

READOBJ = os.environ.get("LLVM_READOBJ", "llvm-readobj-19")

CVEX_EXPORTS = {
    "Factory",
    "CredentialsFactory",
    "??0CRPLImpl@@QEAA@AEBV0@@Z",
    "??4CRPLImpl@@QEAAAEAV0@AEBV0@@Z",
    "??_7CRPLImpl@@6B@",
    "??4CvexCredentials@@QEAAAEAV0@AEBV0@@Z",
    "??8CvexCredentials@@QEBA_NAEBV0@@Z",
    "??9CvexCredentials@@QEBA_NAEBV0@@Z",
}
SYSTEM_DLLS = {"kernel32", "user32", "advapi32", "ws2_32", "iphlpapi", "version", "shell32", "shlwapi", "psapi",
               "ntdll"}
RUNTIME_DLLS = {"ucrtbase", "vcruntime140", "msvcp140"}
NETLIB = "halvo_nm.dll"
# A decorated member of CNM: "?Name@CNM@@..." or a special member such as "??4CNM@@...".
CNM_MEMBER = re.compile(r"^\?(\?[0-9A-Z_]{1,3}|[A-Za-z_][A-Za-z0-9_]*@)CNM@@")


def readobj(option, path):
    return subprocess.run([READOBJ, option, path], check=True, capture_output=True, text=True).stdout


def exports(path):
    """Export names; an export by ordinal only appears as "#ordinal"."""
    names = []
    for block in re.findall(r"Export \{(.*?)\}", readobj("--coff-exports", path), re.S):
        name = re.search(r"^\s*Name: ?(.*)$", block, re.M)
        ordinal = re.search(r"^\s*Ordinal: (\d+)", block, re.M)
        names.append(name.group(1).strip() if name and name.group(1).strip() else "#" + ordinal.group(1))
    return names


def imports(path):
    """(DLL, name) pairs of the import and delay-import tables; by ordinal: "#ordinal"."""
    pairs = []
    for block in re.findall(r"(?:Delay)?Import \{(.*?)\n\}", readobj("--coff-imports", path), re.S):
        dll = re.search(r"^\s*Name: (.*)$", block, re.M).group(1).strip()
        for symbol in re.findall(r"^\s*Symbol: (.*)$", block, re.M):
            # "Name (hint)", or an empty name and the ordinal for an import by ordinal.
            m = re.match(r"(.*?)\s*\((\d+)\)$", symbol)
            if not m:
                pairs.append((dll, symbol.strip()))
            else:
                pairs.append((dll, m.group(1) if m.group(1) else "#" + m.group(2)))
    return pairs


def allowed_import_dll(dll):
    base = dll.lower()
    base = base[:-4] if base.endswith(".dll") else base
    return base in SYSTEM_DLLS or base in RUNTIME_DLLS or base.startswith("api-ms-win-crt-") or \
        dll.lower() == NETLIB


def module_problems(path):
    problems = []
    found = exports(path)
    for name in sorted(set(found) - CVEX_EXPORTS):
        problems.append("%s exports %s, which is not one of its eight exports" % (path, name))
    for name in sorted(CVEX_EXPORTS - set(found)):
        problems.append("%s does not export %s" % (path, name))
    for dll, name in imports(path):
        if not allowed_import_dll(dll):
            problems.append("%s imports %s from %s, which is no system or runtime DLL" % (path, name, dll))
        elif dll.lower() == NETLIB and not name.startswith("?"):
            problems.append("%s imports %s from %s: an undecorated name" % (path, name, dll))
    return problems


def netlib_problems(path):
    found = exports(path)
    problems = ["%s exports %s, which is no decorated member of CNM" % (path, name)
                for name in found if not CNM_MEMBER.match(name)]
    if not found:
        problems.append("%s exports nothing" % path)
    return problems


def main(argv):
    if len(argv) != 2:
        sys.exit("usage: check_dll_tables.py CVEX.DLL halvo_nm.dll")
    problems = module_problems(argv[0]) + netlib_problems(argv[1])
    for problem in problems:
        print("FAILED: " + problem)
    if not problems:
        print("export and import tables as the host expects: %d imports of %s, %d exports of %s" %
              (len(imports(argv[0])), os.path.basename(argv[0]), len(exports(argv[1])), os.path.basename(argv[1])))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
