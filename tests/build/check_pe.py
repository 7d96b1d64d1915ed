#!/usr/bin/env python3
"""Checks the built exes: machine, GUI subsystem, that they import only
Windows system DLLs (at start-up only kernel32 and msvcrt, the rest on first
use), and that their resources hold the version resource and the manifest.
Usage: check_pe.py <32-bit exe> <64-bit exe>"""
import struct
import sys

AT_START = {"kernel32.dll", "msvcrt.dll"}
ON_FIRST_USE = {"user32.dll", "advapi32.dll", "setupapi.dll"}
MACHINES = {0x14C: "i386", 0x8664: "x86-64"}
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2
# Resource type and id the loader and the version calls look for.
NEEDED_RESOURCES = {(16, 1): "version resource", (24, 1): "manifest", (24, 2): "usage box's manifest"}


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
    resource_rva, resource_size = struct.unpack_from("<II", data, dirs + 16)

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

    # The delay-load descriptors: attributes 1, then the RVAs of the DLL's
    # name, its module handle, its address and name tables. mingw's linker
    # leaves them out of the data directory, so they are looked for.
    delayed = set()
    for vaddr, size, raddr in sections:
        for at in range(raddr, min(raddr + size, len(data)) - 32, 4):
            attrs, name_rva, hmod_rva, iat_rva, int_rva = struct.unpack_from("<IIIII", data, at)
            if attrs != 1:
                continue
            try:
                name = offset(name_rva)
                for rva in (hmod_rva, iat_rva, int_rva):
                    offset(rva)
            except ValueError:
                continue
            text = data[name:data.find(b"\0", name, name + 64)]
            if text.lower().endswith(b".dll") and all(32 < c < 127 for c in text):
                delayed.add(text.decode("ascii").lower())

    # (type id, name id) -> size of the first language's data; named
    # entries (high bit set) are left out.
    resources = {}
    if resource_rva and resource_size:
        root = offset(resource_rva)

        def entries(table):
            named, ids = struct.unpack_from("<HH", data, table + 12)
            for i in range(named, named + ids):
                ident, target = struct.unpack_from("<II", data, table + 16 + 8 * i)
                yield ident, target

        for type_id, type_target in entries(root):
            if not type_target & 0x80000000:
                continue
            for name_id, name_target in entries(root + (type_target & 0x7FFFFFFF)):
                if not name_target & 0x80000000:
                    continue
                for _, leaf in entries(root + (name_target & 0x7FFFFFFF)):
                    if not leaf & 0x80000000:
                        resources[(type_id, name_id)] = struct.unpack_from("<II", data, root + leaf)[1]
                    break
    return MACHINES.get(machine, hex(machine)), subsystem, dlls, delayed, resources


def main():
    failures = 0
    failed_exes = 0
    for path, want in ((sys.argv[1], "i386"), (sys.argv[2], "x86-64")):
        before = failures
        machine, subsystem, dlls, delayed, resources = read_pe(path)
        held = ", ".join(f"type {t} id {n} ({size} bytes)" for (t, n), size in sorted(resources.items())) or "none"
        print(f"{path}: machine {machine}, subsystem {subsystem}, imports {', '.join(dlls)}, "
              f"on first use {', '.join(sorted(delayed))}, resources {held}")
        if machine != want:
            print(f"  FAIL: machine {machine}, expected {want}")
            failures += 1
        if subsystem != IMAGE_SUBSYSTEM_WINDOWS_GUI:
            print(f"  FAIL: subsystem {subsystem}, expected the GUI subsystem (2)")
            failures += 1
        if set(dlls) != AT_START:
            print(f"  FAIL: imports at start-up {', '.join(dlls)}, expected {', '.join(sorted(AT_START))}")
            failures += 1
        if delayed != ON_FIRST_USE:
            print(f"  FAIL: loads on first use {', '.join(sorted(delayed)) or 'nothing'}, "
                  f"expected {', '.join(sorted(ON_FIRST_USE))}")
            failures += 1
        for key, what in NEEDED_RESOURCES.items():
            if not resources.get(key):
                print(f"  FAIL: no {what} (resource type {key[0]}, id {key[1]})")
                failures += 1
        failed_exes += failures > before
    print(f"{2 - failed_exes} passed, {failed_exes} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
