#!/usr/bin/env bash
# JPEGs in two pieces: lumacore's RAW recovery against photorec (as the recipes run it, and with its
# brute-force option), counting the byte-exact pictures of bench/jpeg_make_fragment_image.py's image.
# The sixteen pictures are made here with ImageMagick and cjpeg (baseline, restart markers, progressive).
# Usage: bench/jpeg_compare_fragments.sh [WORKDIR]
set -euo pipefail
cd "$(dirname "$0")/.."
work=${1:-$(mktemp -d /dev/shm/lumacore-jpeg-fragments.XXXXXX)}
build=${LUMACORE_BUILD:-build}
cli=$PWD/$build/bin/lumacore-cli
convert=${CONVERT:-/usr/bin/convert-im6.q16}
mkdir -p "$work/pics"
for i in $(seq 1 16); do
    ppm=$work/pics/s$i.ppm
    "$convert" -seed "$i" -size $((300 + i * 47))x$((200 + i * 31)) plasma:fractal -attenuate 0.3 +noise Gaussian -depth 8 "$ppm"
    case $((i % 4)) in
        0) "$convert" "$ppm" -quality 88 "$work/pics/p$i.jpg" ;;
        1) cjpeg -quality 85 -restart 3 -outfile "$work/pics/p$i.jpg" "$ppm" ;;
        2) "$convert" "$ppm" -quality 90 -interlace Plane "$work/pics/p$i.jpg" ;;
        3) cjpeg -quality 80 -progressive -outfile "$work/pics/p$i.jpg" "$ppm" ;;
    esac
    rm "$ppm"
done
image=$work/fragments.img
bench/jpeg_make_fragment_image.py "$work/pics" "$image"
cat "$image" >/dev/null

count() {  # DIR: byte-exact pictures found below it
    python3 - "$image.manifest" "$1" <<'PY'
import hashlib, os, sys
rows = [line.rstrip('\n').split('\t') for line in open(sys.argv[1])]
want = {sha: (name, layout) for name, layout, sha in rows}
got = set()
for root, _, names in os.walk(sys.argv[2]):
    for n in names:
        if n.lower().endswith('.jpg'):
            sha = hashlib.sha256(open(os.path.join(root, n), 'rb').read()).hexdigest()
            if sha in want: got.add(want[sha])
two = sum(1 for _, layout in got if layout != 'whole')
print(f"byte-exact {len(got)}/{len(rows)} (two pieces {two}/{sum(1 for r in rows if r[1] != 'whole')})")
PY
}
run() {  # NAME COMMAND...: times it, then counts what it wrote into $work/NAME
    local name=$1
    shift
    rm -rf "${work:?}/$name"
    mkdir -p "$work/$name"
    local start end
    start=$(date +%s.%N)
    (cd "$work/$name" && "$@" >/dev/null 2>&1)
    end=$(date +%s.%N)
    printf '%-22s %6.2f s  ' "$name" "$(echo "$end - $start" | bc)"
    count "$work/$name"
}
run lumacore "$cli" --no-devices --image "$image" recover --disk 0 --mode raw --types jpg \
    --signatures "$PWD/res/rp.dat" --to "$work/lumacore/out"
run photorec photorec /log /d "$work/photorec/recup" /cmd "$image" \
    partition_none,options,keep_corrupted_file_no,search
run photorec-bruteforce photorec /log /d "$work/photorec-bruteforce/recup" /cmd "$image" \
    partition_none,options,paranoid_bf,keep_corrupted_file_no,search
