#!/usr/bin/env python3
"""Usage: check-sbom.py <sbom> <schema dir> <release folder> <arch>=<build dir>...

The release's SBOM is valid CycloneDX 1.6, gives each exe of the folder its
SHA-512, and lists as that exe's components every toolchain archive and
object file that the build's linker map shows in its link. The same checks
must fail on the SBOM with a component taken out and with a hash changed."""
import copy
import hashlib
import json
import os
import pathlib
import re
import sys

import jsonschema
import jsonschema._validators


# Debian 12's jsonschema (4.10) sorts extra array items to word a message,
# which fails on objects: a component with two licences, checked against the
# schema's one-expression alternative, would raise instead of not matching.
jsonschema._validators.extras_msg = lambda extras: (", ".join(map(repr, extras)), "were")


def validator(schema_dir):
    schemas = {}
    for path in pathlib.Path(schema_dir).glob("*.schema.json"):
        schema = json.loads(path.read_text(encoding="utf-8"))
        # Found by its $id and by the file name that the bom schema refers to.
        schemas[schema["$id"]] = schemas["http://cyclonedx.org/schema/" + path.name] = schema
    bom = schemas["http://cyclonedx.org/schema/bom-1.6.schema.json"]
    resolver = jsonschema.RefResolver.from_schema(bom, store=schemas)
    return jsonschema.validators.validator_for(bom)(bom, resolver=resolver)


def linked(map_path):
    """Base names of the absolute archives and objects the link took code from."""
    text = pathlib.Path(map_path).read_text(encoding="utf-8", errors="replace")
    members = text.split("Archive member included", 1)[1].split("\nDiscarded input sections", 1)[0]
    names = {os.path.basename(m) for m in re.findall(r"^(/\S+?)\(", members, re.M)}
    names |= {os.path.basename(m) for m in re.findall(r"^LOAD (/\S+\.o)$", text, re.M)}
    return names


def problems(bom, check, folder, builds):
    found = sorted(e.message[:200] for e in check.iter_errors(bom))
    exes = {c.get("bom-ref"): c for c in bom.get("components", [])}
    for arch, build in builds:
        ref = f"{arch}/TIRNFuncts.exe"
        digest = hashlib.sha512(pathlib.Path(folder, ref).read_bytes()).hexdigest()
        exe = exes.get(ref, {})
        if exe.get("hashes") != [{"alg": "SHA-512", "content": digest}]:
            found.append(f"{ref}: not listed with its SHA-512")
        parts = {p["name"]: p for p in exe.get("components", [])}
        for name in sorted(linked(os.path.join(build, "TIRNFuncts.map"))):
            part = parts.get(name, {})
            if not (part.get("version") and part.get("licenses") and part.get("purl", "").startswith("pkg:deb/")):
                found.append(f"{ref}: linked {name} not listed with its package, version and licences")
    return found


def main():
    sbom_path, schema_dir, folder = sys.argv[1:4]
    builds = [arg.split("=", 1) for arg in sys.argv[4:]]
    bom = json.loads(pathlib.Path(sbom_path).read_text(encoding="utf-8"))
    check = validator(schema_dir)
    if found := problems(bom, check, folder, builds):
        sys.exit("FAIL: " + "\n".join(found))

    # The checks see a part taken out, and a hash that is not the exe's.
    without_part = copy.deepcopy(bom)
    gone = without_part["components"][0]["components"].pop()
    other_hash = copy.deepcopy(bom)
    other_hash["components"][-1]["hashes"][0]["content"] = "0" * 128
    for name, mutant in ((f"without {gone['name']}", without_part), ("with another hash", other_hash)):
        if not problems(mutant, check, folder, builds):
            sys.exit(f"FAIL: the SBOM {name} passes the checks")
    print(f"SBOM: valid CycloneDX {bom['specVersion']}, "
          f"{sum(len(c['components']) for c in bom['components'])} linked parts of {len(builds)} exes listed")


if __name__ == "__main__":
    main()
