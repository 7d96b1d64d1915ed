#!/usr/bin/env python3
"""Checks the built exes: machine, GUI subsystem, and that they import only
Windows system DLLs. Usage: check_pe.py <32-bit exe> <64-bit exe>"""
import struct
import sys

ALLOWED = {"kernel32.dll", "user32.dll", "advapi32.dll", "setupapi.dll", "msvcrt.dll"}
MACHINES = {0x14C: "i386", 0x8664: "x86-64"}
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2


def read_pe(path):
    data = open(path, "rb").read()
    if data[:2] != b"MZ":
        raise ValueError(f"{path}: no MZ header")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError(f"{path}: no PE signature")
    machine, nsections = struct.unpack_from("<HH", data, pe + 4)
    opt_size = struct.unpack_from("<H", data, pe + 20)[0]
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    subsystem = struct.unpack_from("<H", data, opt + 68)[0]
    dirs = opt + (96 if magic == 0x10B else 112)
    import_rva = struct.unpack_from("<I", data, dirs + 8)[0]

    sections = []
    sec = opt + opt_size
    for i in range(nsections):
        vsize, vaddr, rsize, raddr = struct.unpack_from("<IIII", data, sec + 40 * i + 8)
        sections.append((vaddr, max(vsize, rsize), raddr))

    def offset(rva):
        for vaddr, size, raddr in sections:
            if vaddr <= rva < vaddr + size:
                return rva - vaddr + raddr
        raise ValueError(f"{path}: RVA {rva:#x} in no section")

    dlls = []
    entry = offset(import_rva)
    while True:
        fields = struct.unpack_from("<IIIII", data, entry)
        if not any(fields):
            break
        name = offset(fields[3])
        dlls.append(data[name:data.index(b"\0", name)].decode("ascii").lower())
        entry += 20
    return MACHINES.get(machine, hex(machine)), subsystem, dlls


def main():
    failures = 0
    failed_exes = 0
    for path, want in ((sys.argv[1], "i386"), (sys.argv[2], "x86-64")):
        before = failures
        machine, subsystem, dlls = read_pe(path)
        print(f"{path}: machine {machine}, subsystem {subsystem}, imports {', '.join(dlls)}")
        if machine != want:
            print(f"  FAIL: machine {machine}, expected {want}")
            failures += 1
        if subsystem != IMAGE_SUBSYSTEM_WINDOWS_GUI:
            print(f"  FAIL: subsystem {subsystem}, expected the GUI subsystem (2)")
            failures += 1
        extra = sorted(set(dlls) - ALLOWED)
        if extra:
            print(f"  FAIL: imports outside the Windows system DLLs: {', '.join(extra)}")
            failures += 1
        for needed in ("kernel32.dll", "user32.dll", "advapi32.dll", "setupapi.dll"):
            if needed not in dlls:
                print(f"  FAIL: {needed} not imported")
                failures += 1
        failed_exes += failures > before
    print(f"{2 - failed_exes} passed, {failed_exes} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
