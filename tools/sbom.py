#!/usr/bin/env python3
"""Usage: sbom.py <out> <version> <unix time> <release folder> <arch>=<build dir>...

Writes the release's CycloneDX 1.6 SBOM from what the build used: each exe of
the folder (<arch>/TIRNFuncts.exe) with its SHA-512 and, as its components,
every archive member and object file its link took from the toolchain (read
from the build's linker map, TIRNFuncts.map); the tools of the build (the
compilers, linker and cmake that its CMakeCache.txt names). Each part names
the Debian package it came from, with the version, architecture and licences
that dpkg reports. The same inputs give the same bytes: the only time is the
given one, and the serial number is derived from the content."""
import glob
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import time
import urllib.parse
import uuid

def linked_files(map_path):
    """The toolchain's files that the link took code from: archives with at
    least one member included, and object files loaded whole."""
    files = set()
    with open(map_path, encoding="utf-8", errors="replace") as f:
        lines = f.read().splitlines()
    in_members = False
    for line in lines:
        if line.startswith("Archive member included"):
            in_members = True
            continue
        if line.startswith("Discarded input sections"):
            in_members = False
        if in_members:
            match = re.match(r"(/\S+?)\(", line)
            if match:
                files.add(os.path.realpath(match.group(1)))
        elif line.startswith("LOAD /") and line.endswith(".o"):
            files.add(os.path.realpath(line[5:]))
    if not files:
        sys.exit(f"sbom: no linked file in {map_path}")
    return sorted(files)


def build_tools(build_dir):
    """The compilers that cmake found, and the linker, archiver and cmake of its cache."""
    found = []
    for name in glob.glob(os.path.join(build_dir, "CMakeFiles", "*", "CMake*Compiler.cmake")):
        with open(name, encoding="utf-8") as f:
            for language, compiler in re.findall(r'^set\(CMAKE_(CXX|RC)_COMPILER "([^"]+)"\)', f.read(), re.M):
                # The exes are compiled and linked by the win32-thread twin of
                # cmake's C++ compiler (tools/win32-threads.sh).
                if language == "CXX" and compiler.endswith("-posix"):
                    compiler = compiler[: -len("-posix")] + "-win32"
                found.append(compiler)
    with open(os.path.join(build_dir, "CMakeCache.txt"), encoding="utf-8") as f:
        found += re.findall(r"^CMAKE_(?:LINKER|AR|COMMAND):\w+=(.+)$", f.read(), re.M)
    paths = {os.path.realpath(shutil.which(tool) or tool) for tool in found}
    if len(paths) < 4:
        sys.exit(f"sbom: the tools of {build_dir} not found: {sorted(paths)}")
    return sorted(paths)


def owners(paths):
    """The package of each path, as dpkg -S reports it."""
    out = subprocess.run(["dpkg", "-S", *paths], check=True, capture_output=True, text=True).stdout
    owner = {}
    for line in out.splitlines():
        packages, _, path = line.partition(": ")
        owner[path] = packages.split(", ")[0]
    missing = [p for p in paths if p not in owner]
    if missing:
        sys.exit(f"sbom: no package owns {' '.join(missing)}")
    return owner


def licences(package):
    copyright_path = f"/usr/share/doc/{package}/copyright"
    try:
        with open(copyright_path, encoding="utf-8", errors="replace") as f:
            text = f.read()
    except OSError:
        return [{"license": {"name": f"unknown: no {copyright_path}"}}]
    if not re.match(r"\s*Format:.*copyright-format", text):
        return [{"license": {"name": f"not machine-readable: see {copyright_path}"}}]
    names = sorted({m.group(1).strip() for m in re.finditer(r"^License:[ \t]*(\S.*)$", text, re.M)})
    return [{"license": {"name": name}} for name in names]


def package_info(packages):
    info = {}
    for package in sorted(packages):
        version, arch = subprocess.run(["dpkg-query", "-W", "-f", "${Version}\t${Architecture}", package],
                                       check=True, capture_output=True, text=True).stdout.split("\t")
        purl = f"pkg:deb/debian/{package}@{urllib.parse.quote(version, safe='')}?arch={arch}"
        info[package] = {"version": version, "purl": purl, "licenses": licences(package)}
    return info


def main():
    out, version, epoch, folder = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
    builds = [arg.split("=", 1) for arg in sys.argv[5:]]
    linked = {arch: linked_files(os.path.join(build, "TIRNFuncts.map")) for arch, build in builds}
    tools = sorted({path for _, build in builds for path in build_tools(build)})
    owner = owners(sorted({p for files in linked.values() for p in files} | set(tools)))
    info = package_info(set(owner.values()))

    components, dependencies = [], []
    for arch, _ in builds:
        exe = f"{arch}/TIRNFuncts.exe"
        with open(os.path.join(folder, exe), "rb") as f:
            digest = hashlib.sha512(f.read()).hexdigest()
        parts = []
        for path in linked[arch]:
            package = owner[path]
            parts.append({"type": "library", "bom-ref": f"{exe}#{path}", "group": package,
                          "name": os.path.basename(path), "version": info[package]["version"],
                          "description": f"linked statically from {path}", "scope": "required",
                          "licenses": info[package]["licenses"], "purl": info[package]["purl"]})
        components.append({"type": "application", "bom-ref": exe, "name": "TIRNFuncts.exe", "version": version,
                           "description": f"{exe} of the release", "hashes": [{"alg": "SHA-512", "content": digest}],
                           "components": parts})
        dependencies.append({"ref": exe, "dependsOn": [part["bom-ref"] for part in parts]})
    tool_components = []
    for package in sorted({owner[path] for path in tools}):
        tool_components.append({"type": "application", "name": package, "version": info[package]["version"],
                                "licenses": info[package]["licenses"], "purl": info[package]["purl"]})

    bom = {
        "bomFormat": "CycloneDX",
        "specVersion": "1.6",
        "version": 1,
        "metadata": {
            "timestamp": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(epoch)),
            "lifecycles": [{"phase": "build"}],
            "tools": {"components": tool_components},
            "component": {"type": "application", "bom-ref": "TIRNFuncts", "name": "TIRNFuncts", "version": version,
                          "licenses": [{"license": {"id": "MIT"}}]},
        },
        "components": components,
        "dependencies": [{"ref": "TIRNFuncts", "dependsOn": [c["bom-ref"] for c in components]}] + dependencies,
    }
    content = json.dumps(bom, indent=2, sort_keys=True)
    bom["serialNumber"] = "urn:uuid:" + str(uuid.uuid5(uuid.NAMESPACE_URL, content))
    with open(out, "w", encoding="ascii") as f:
        f.write(json.dumps(bom, indent=2) + "\n")


if __name__ == "__main__":
    main()
