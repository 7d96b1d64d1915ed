#!/usr/bin/env python3
"""Checks the built exes: machine, GUI subsystem, that they import only
Windows system DLLs (at start-up only kernel32 and msvcrt, the rest on first
use), that every import slot is filled and every imported name is
exported by the DLL it names, that their resources hold the version resource
and the manifest, and that they are hardened as Windows expects.
Usage: check_pe.py <32-bit exe> <64-bit exe> <32-bit DLL dir> <64-bit DLL dir>
The DLL directories hold Wine's PE DLLs of each architecture."""
import os
import struct
import sys

AT_START = {"kernel32.dll", "msvcrt.dll"}
ON_FIRST_USE = {"user32.dll", "advapi32.dll", "setupapi.dll"}
MACHINES = {0x14C: "i386", 0x8664: "x86-64"}
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2
# Resource type and id the loader and the version calls look for.
NEEDED_RESOURCES = {(16, 1): "version resource", (24, 1): "manifest", (24, 2): "usage box's manifest"}
IMAGE_FILE_RELOCS_STRIPPED = 0x0001
DLL_CHARACTERISTICS = {0x0020: "high-entropy ASLR", 0x0040: "ASLR", 0x0100: "NX", 0x8000: "Terminal-Server-aware"}
# The stack protector's guard as the file holds it, before its draw at
# start-up; the functions that check it read it.
STACK_GUARD = {"i386": struct.pack("<I", 0xBB40E64E), "x86-64": struct.pack("<Q", 0x00002B992DDFA232)}
MIN_GUARD_READS = 20


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
    pe32 = magic == 0x10B
    ptr, ptr_size = ("<I", 4) if pe32 else ("<Q", 8)
    image_base = struct.unpack_from(ptr, data, opt + (28 if pe32 else 24))[0]
    subsystem = struct.unpack_from("<H", data, opt + 68)[0]
    dirs = opt + (96 if pe32 else 112)
    import_rva = struct.unpack_from("<I", data, dirs + 8)[0]
    resource_rva, resource_size = struct.unpack_from("<II", data, dirs + 16)

    sections = []
    code = []
    sec = opt + opt_size
    for i in range(nsections):
        vsize, vaddr, rsize, raddr = struct.unpack_from("<IIII", data, sec + 40 * i + 8)
        sections.append((vaddr, max(vsize, rsize), raddr))
        if struct.unpack_from("<I", data, sec + 40 * i + 36)[0] & 0x20000000:  # IMAGE_SCN_MEM_EXECUTE
            code.append((vaddr, vsize))

    def offset(rva):
        for vaddr, size, raddr in sections:
            if vaddr <= rva < vaddr + size:
                return rva - vaddr + raddr
        raise ValueError(f"{path}: RVA {rva:#x} in no section")

    def text_at(rva):
        at = offset(rva)
        return data[at:data.index(b"\0", at)].decode("ascii")

    def slots(rva):
        at = offset(rva)
        while True:
            value = struct.unpack_from(ptr, data, at)[0]
            if not value:
                return
            yield value
            at += ptr_size

    def imported_name(entry):
        if entry >> (ptr_size * 8 - 1):
            return f"#{entry & 0xFFFF}"
        return text_at(entry + 2)

    def in_code(va):
        return any(vaddr <= va - image_base < vaddr + size for vaddr, size in code)

    # Per DLL the names taken from it, and the slots that hold nothing usable:
    # a start-up slot must hold its name's entry (the loader fills it), a
    # delay-load slot the address of the code that loads the DLL on first use.
    imports = {}
    bad_slots = []

    def read_table(dll, int_rva, iat_rva, slot_ok):
        names = [imported_name(e) for e in slots(int_rva)]
        imports.setdefault(dll, []).extend(names)
        at = offset(iat_rva)
        for i, name in enumerate(names):
            value = struct.unpack_from(ptr, data, at + i * ptr_size)[0]
            if not slot_ok(value):
                bad_slots.append(f"{dll}!{name} slot holds {value:#x}")

    def by_name(value):
        try:
            offset(value)
            return True
        except ValueError:
            return False

    dlls = []
    entry = offset(import_rva)
    while True:
        fields = struct.unpack_from("<IIIII", data, entry)
        if not any(fields):
            break
        dll = text_at(fields[3]).lower()
        dlls.append(dll)
        read_table(dll, fields[0] or fields[4], fields[4], by_name)
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
                dll = text.decode("ascii").lower()
                if dll not in delayed:
                    delayed.add(dll)
                    read_table(dll, int_rva, iat_rva, in_code)

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
    return {"machine": MACHINES.get(machine, hex(machine)), "subsystem": subsystem, "dlls": dlls,
            "delayed": delayed, "resources": resources, "imports": imports, "bad_slots": bad_slots}


def exported_names(path):
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    nsections = struct.unpack_from("<H", data, pe + 6)[0]
    opt_size = struct.unpack_from("<H", data, pe + 20)[0]
    opt = pe + 24
    pe32 = struct.unpack_from("<H", data, opt)[0] == 0x10B
    export_rva = struct.unpack_from("<I", data, opt + (96 if pe32 else 112))[0]
    sections = [struct.unpack_from("<IIII", data, opt + opt_size + 40 * i + 8) for i in range(nsections)]

    def offset(rva):
        for vsize, vaddr, rsize, raddr in sections:
            if vaddr <= rva < vaddr + max(vsize, rsize):
                return rva - vaddr + raddr
        raise ValueError(f"{path}: RVA {rva:#x} in no section")

    count, names_rva = struct.unpack_from("<I4xI", data, offset(export_rva) + 24)
    names = set()
    for i in range(count):
        at = offset(struct.unpack_from("<I", data, offset(names_rva) + 4 * i)[0])
        names.add(data[at:data.index(b"\0", at)].decode("ascii"))
    return names


def check_imports(pe, dll_dir):
    """The failures of the import check: empty slots, and names that the DLL
    of Wine's own build does not export."""
    failures = [f"  FAIL: {slot}" for slot in pe["bad_slots"]]
    for dll, names in sorted(pe["imports"].items()):
        path = os.path.join(dll_dir, dll)
        if not os.path.isfile(path):
            failures.append(f"  FAIL: {dll} not found in {dll_dir}")
            continue
        missing = sorted(set(names) - exported_names(path))
        if missing:
            failures.append(f"  FAIL: {dll} exports none of {', '.join(missing)}")
    return failures


def guard_reads(data, opt, sections, machine):
    """How many instructions read the stack guard: by its address on i386, on
    x86-64 RIP-relative through the pointer to it that mingw's code goes by."""
    guard = STACK_GUARD[machine]
    found = [vaddr + data.index(guard, raddr, raddr + rsize) - raddr
             for name, vaddr, rsize, raddr in sections if name == b".data" and guard in data[raddr:raddr + rsize]]
    text = [(vaddr, rsize, raddr) for name, vaddr, rsize, raddr in sections if name == b".text"]
    if len(found) != 1 or len(text) != 1:
        return 0
    vaddr, rsize, raddr = text[0]
    if machine == "i386":
        image_base = struct.unpack_from("<I", data, opt + 28)[0]
        return data.count(struct.pack("<I", image_base + found[0]), raddr, raddr + rsize)
    image_base = struct.unpack_from("<Q", data, opt + 24)[0]
    pointer = struct.pack("<Q", image_base + found[0])
    pointers = {v + at - r for _, v, size, r in sections for at in range(r, r + size - 7, 8)
                if data[at:at + 8] == pointer}
    return sum(vaddr + at - raddr + 4 + struct.unpack_from("<i", data, at)[0] in pointers
               for at in range(raddr, raddr + rsize - 4))


def hardening_failures(path, machine):
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    nsections, characteristics = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 22)[0]
    opt_size = struct.unpack_from("<H", data, pe + 20)[0]
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    subsystem_version = struct.unpack_from("<HH", data, opt + 48)
    dll_characteristics = struct.unpack_from("<H", data, opt + 70)[0]
    dirs = opt + (96 if magic == 0x10B else 112)
    reloc_rva, reloc_size = struct.unpack_from("<II", data, dirs + 5 * 8)
    sections = []
    for i in range(nsections):
        name, _, vaddr, rsize, raddr = struct.unpack_from("<8sIIII", data, opt + opt_size + 40 * i)
        sections.append((name.rstrip(b"\0"), vaddr, rsize, raddr))
    reads = guard_reads(data, opt, sections, machine)
    print(f"{path}: DllCharacteristics {dll_characteristics:#06x}, subsystem version "
          f"{subsystem_version[0]}.{subsystem_version[1]}, relocations {reloc_size} bytes, "
          f"{reads} reads of the stack guard")

    failures = []
    for flag, what in DLL_CHARACTERISTICS.items():
        if flag == 0x0020 and machine != "x86-64":
            continue
        if not dll_characteristics & flag:
            failures.append(f"not {what} (DllCharacteristics {flag:#06x})")
    if characteristics & IMAGE_FILE_RELOCS_STRIPPED or not reloc_rva or not reloc_size:
        failures.append("no base relocations, so ASLR cannot move it")
    if subsystem_version != (6, 0):
        failures.append(f"subsystem version {subsystem_version[0]}.{subsystem_version[1]}, expected 6.0 (Vista)")
    if reads < MIN_GUARD_READS:
        failures.append(f"no stack protector: {reads} reads of its guard, expected {MIN_GUARD_READS} or more")
    return failures


def main():
    failures = 0
    failed_exes = 0
    for path, want, dll_dir in ((sys.argv[1], "i386", sys.argv[3]), (sys.argv[2], "x86-64", sys.argv[4])):
        before = failures
        pe = read_pe(path)
        machine, subsystem, dlls, delayed, resources = (pe[k] for k in ("machine", "subsystem", "dlls", "delayed",
                                                                        "resources"))
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
        import_failures = check_imports(pe, dll_dir)
        print(f"  {sum(len(n) for n in pe['imports'].values())} imported names checked against {dll_dir}")
        for line in import_failures:
            print(line)
        failures += len(import_failures)
        for key, what in NEEDED_RESOURCES.items():
            if not resources.get(key):
                print(f"  FAIL: no {what} (resource type {key[0]}, id {key[1]})")
                failures += 1
        for failure in hardening_failures(path, want):
            print(f"  FAIL: {failure}")
            failures += 1
        failed_exes += failures > before
    print(f"{2 - failed_exes} passed, {failed_exes} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
