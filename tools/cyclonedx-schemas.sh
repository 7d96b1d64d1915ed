#!/usr/bin/env bash
# Usage: cyclonedx-schemas.sh <dir>
# Puts the CycloneDX 1.6 JSON schema and the two schemas it refers to, with
# their licence (Apache-2.0), in <dir>: from res/schema/ of the npm package
# @cyclonedx/cyclonedx-library 10.3.0, fetched by npm from the registry the
# machine's npm is set up for. Each file is checked against its SHA-256 below;
# quiet when <dir> holds them already.
set -euo pipefail
dir=$1
sums="83821ba49aa366ad1f1d16c34837d05edd010f036f652e310db1c77d57b37c58  bom-1.6.SNAPSHOT.schema.json
4b345e2329f209f34e960ae2a8e7cb46a166907e6a45e94978565925dc47b359  spdx.SNAPSHOT.schema.json
8bae002c25e723db7ee1f26afde680ae1a2b1a8f6b4b4b0fd65dc3becb090aae  jsf-0.82.SNAPSHOT.schema.json
c71d239df91726fc519c6eb72d318ec65820627232b2f796219e87dcf35d0ab4  LICENSE"
if [ -d "$dir" ] && (cd "$dir" && sha256sum --check --status --strict <<<"$sums"); then
    exit 0
fi
echo "cyclonedx-schemas: fetching @cyclonedx/cyclonedx-library 10.3.0 into $dir"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && npm pack --silent @cyclonedx/cyclonedx-library@10.3.0 >/dev/null)
tar -xzf "$work"/cyclonedx-cyclonedx-library-10.3.0.tgz -C "$work" package/LICENSE \
    package/res/schema/{bom-1.6,spdx,jsf-0.82}.SNAPSHOT.schema.json
mkdir -p "$work/out"
mv "$work"/package/res/schema/*.json "$work/package/LICENSE" "$work/out/"
(cd "$work/out" && sha256sum --check --quiet --strict <<<"$sums") || {
    echo "cyclonedx-schemas: the package's files are not the ones expected" >&2
    exit 1
}
rm -rf "$dir"
mkdir -p "$(dirname "$dir")"
mv "$work/out" "$dir"
