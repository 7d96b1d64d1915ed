#!/usr/bin/env bash
# Usage: release-test.sh rebuilt <sources> <work> <version> <arch>=<exe>...
#        release-test.sh signed <work> <version>
#        release-test.sh sbom <sources> <work> <version> x86=<exe> x64=<exe>
#
# rebuilt: a release made by tools/release.sh from a copy of the sources in
# <work>/src holds the bytes of the given exes, which were built in another
# directory at another time; zipped again with other dates and permissions,
# and by a Python without zlib, the release's folder gives the same zip.
# signed: the same release signed with a certificate made here, its key with
# a password and without one: both exes verify against it and are the
# unsigned ones once the signature is removed; no child of the release but
# the signing step is handed the password.
set -euo pipefail

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# release <log> [NAME=value...]: runs the copy's tools/release.sh.
release() {
    local log=$work/$1.log
    shift
    env "$@" SOURCE_DATE_EPOCH=1798761600 "$work/src/tools/release.sh" >"$log" 2>&1 || {
        cat "$log"
        return 1
    }
    tail -n 1 "$log"
}

# unpack <dir>: the copy's zip unpacked into <dir>, with the release's files
# and a SHA256SUMS that names and checks every other one.
unpack() {
    rm -rf "$1"
    python3 -m zipfile -e "$work/src/dist/$name.zip" "$1"
    (cd "$1" && find . | LC_ALL=C sort) >"$1.files"
    printf "%s\n" . "./$name" "./$name/"{CHANGELOG.md,LICENSE,README.md,SECURITY.md,SHA256SUMS,examples} \
        "./$name/"{examples/TIRNFuncts-component.inf,examples/TIRNFuncts-device.inf,examples/TIRNFuncts-setup.nsi} \
        "./$name/"{examples/TIRNFuncts-setup.wxs,sbom.cdx.json,x64,x64/TIRNFuncts.exe,x86,x86/TIRNFuncts.exe} |
        diff - "$1.files" || fail "not the release's files"
    cd "$1/$name"
    find . -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort | diff - <(cut -c 67- SHA256SUMS) ||
        fail "SHA256SUMS does not name every file"
    sha256sum --check --strict SHA256SUMS
    cd - >/dev/null
}

case ${1:-} in
rebuilt)
    [ $# -ge 5 ] || fail "usage"
    sources=$2 work=$3 name=TIRNFuncts-$4
    shift 4
    rm -rf "$work"
    mkdir -p "$work/src"
    tar -C "$sources" --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -C "$work/src" -xf -
    release unsigned | grep -F "NOT signed"
    unpack "$work/unsigned"
    for built in "$@"; do
        cmp "${built#*=}" "$work/unsigned/$name/${built%%=*}/TIRNFuncts.exe"
    done
    stage=$work/src/build/release/$name
    find "$stage" -exec touch -d '2001-02-03 04:05:06' {} + -exec chmod go-rwx {} +
    # Without zlib: zipfile is loaded afresh, as the site of a Python may have
    # loaded it already.
    python3 -c 'import runpy, sys; sys.modules["zlib"] = None; sys.modules.pop("zipfile", None); sys.argv = sys.argv[1:]
runpy.run_path(sys.argv[0], run_name="__main__")' "$work/src/tools/release-zip.py" "$stage" "$work/again.zip" 1798761600
    cmp "$work/src/dist/$name.zip" "$work/again.zip"
    ;;
signed)
    [ $# -eq 3 ] || fail "usage"
    work=$2 name=TIRNFuncts-$3
    signer=$work/signer password='a "pass" word'
    rm -rf "$signer"
    mkdir -p "$signer"
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$signer/key.pem" -out "$signer/cert.pem" -days 2 \
        -subj "/CN=TIRNFuncts test signer" -addext extendedKeyUsage=codeSigning 2>/dev/null
    openssl pkcs12 -export -inkey "$signer/key.pem" -in "$signer/cert.pem" -out "$signer/signer.pfx" \
        -passout "pass:$password"
    openssl pkcs12 -export -inkey "$signer/key.pem" -in "$signer/cert.pem" -out "$signer/open.pfx" -passout pass:
    if release half TIRN_SIGN_PFX="$signer/signer.pfx" >/dev/null; then
        fail "a release with a certificate but no password"
    fi
    # Stand-ins for the tools the release runs fail when they are handed
    # the password, in their environment or on their command line.
    mkdir "$signer/bin"
    for tool in cmake python3 osslsigncode; do
        cat >"$signer/bin/$tool" <<EOF
#!/bin/sh
if env | grep -q ^TIRN_SIGN_PASSWORD= || { env; printf '%s\n' "\$@"; } | grep -qF -f '$signer/secret'; then
    echo "$tool was handed the password" >&2
    exit 1
fi
exec '$(command -v $tool)' "\$@"
EOF
        chmod +x "$signer/bin/$tool"
    done
    # signed_release <name> <pfx> <password>
    signed_release() {
        printf '%s' "$3" >"$signer/secret"
        release "$1" PATH="$signer/bin:$PATH" TIRN_SIGN_PFX="$2" TIRN_SIGN_PASSWORD="$3"
        unpack "$work/$1"
        for arch in x86 x64; do
            exe=$work/$1/$name/$arch/TIRNFuncts.exe
            osslsigncode verify -CAfile "$signer/cert.pem" -in "$exe" >"$work/verify-$arch.log" ||
                { cat "$work/verify-$arch.log"; fail "$arch: not verified"; }
            osslsigncode remove-signature -in "$exe" -out "$work/$1/unsigned-$arch.exe" >/dev/null
            cmp "$work/unsigned/$name/$arch/TIRNFuncts.exe" "$work/$1/unsigned-$arch.exe"
        done
    }
    signed_release signed "$signer/signer.pfx" "$password"
    signed_release open "$signer/open.pfx" ""
    ;;
sbom)
    # The release's SBOM checks against the schema, the exes and the test
    # builds' linker maps, and is the one these builds give, byte for byte.
    [ $# -eq 6 ] || fail "usage"
    sources=$2 work=$3 name=TIRNFuncts-$4 folder=$3/unsigned/TIRNFuncts-$4
    builds=("${5%%=*}=$(dirname "${5#*=}")" "${6%%=*}=$(dirname "${6#*=}")")
    /usr/bin/python3 "$sources/tests/release/check-sbom.py" "$folder/sbom.cdx.json" "$sources/build/cyclonedx" \
        "$folder" "${builds[@]}"
    python3 "$sources/tools/sbom.py" "$work/again.cdx.json" "$4" 1798761600 "$folder" "${builds[@]}"
    cmp "$folder/sbom.cdx.json" "$work/again.cdx.json"
    ;;
*) fail "usage" ;;
esac
