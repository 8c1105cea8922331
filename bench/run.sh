#!/usr/bin/env bash
# The benchmark: our command against ImageMagick, GraphicsMagick, libvips, Pillow and plain Qt
# on the same pictures, plus the decode-only floor. One command from the repository root:
#
#   bash bench/run.sh
#
# It installs what is missing (apt-get, as root or through sudo), builds a Release tree in
# build-bench, makes the watermark picture and a 20-megapixel photo in bench/work/ (never
# committed), profiles one picture of ours, runs every tool, checks every output, prints the
# tables and writes bench/RESULTS.md. Environment knobs: REPEATS (default 3), ONE_THREAD_REPEATS
# (ours and the floor pinned to one core, default 3), PEER_ONE_THREAD_REPEATS (default 1),
# BUILD_DIR (default build-bench), NO_PROFILE=1 to skip the perf profile.
set -euo pipefail

# The whole script is one function, read before it runs, so editing this file during a run
# cannot change the run.
main() {
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bench="$root/bench"
work="$bench/work"
build="${BUILD_DIR:-$root/build-bench}"
corpus_dir=/usr/share/backgrounds
python=/usr/bin/python3 # Debian's, the one python3-pil installs into
mkdir -p "$work"

say() { printf '== %s\n' "$*" >&2; }

# --- what the bench needs -----------------------------------------------------------------
need=(ukui-wallpapers imagemagick graphicsmagick libvips-tools python3-pil fonts-noto-cjk time
      util-linux cmake ninja-build)
missing=()
for pkg in "${need[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$pkg")
done
if ((${#missing[@]})); then
    say "installing: ${missing[*]}"
    sudo=()
    if [[ $(id -u) -ne 0 ]]; then sudo=(sudo); fi
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
fi

# --- build ----------------------------------------------------------------------------------
say "building Release in $build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZX_BUILD_TESTS=OFF >/dev/null
for target in zandolex-cli zx-bench-decode zx-bench-qt; do
    # A target that does not build is reported as failed in the tables, not hidden.
    cmake --build "$build" -j2 --target "$target" >"$work/build-$target.log" 2>&1 ||
        say "WARNING: $target did not build (see $work/build-$target.log)"
done
bin="$build/bin"
# What was measured: the commit, and any uncommitted change outside bench/ that went into it.
build_note="Built (Release) from commit $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo '?')"
dirty=$(git -C "$root" status --porcelain -- . ':!bench' 2>/dev/null | awk '{print $2}' | tr '\n' ' ')
if [[ -n $dirty ]]; then
    build_note+=" plus the uncommitted state of: ${dirty% }"
fi
build_note+="."

# --- inputs ---------------------------------------------------------------------------------
mark="$work/mark.png"
if [[ ! -s $mark ]]; then
    say "making the 400 x 200 watermark with alpha"
    # A colour gradient whose alpha is a rounded plate at 80 % with an opaque disc and
    # transparent corners: full, partial and zero alpha all occur.
    /usr/bin/convert -size 400x200 gradient:'#d02828-#2848d0' \
        \( -size 400x200 xc:black -fill gray80 -draw 'roundrectangle 0,0 399,199 40,40' \
        -fill white -draw 'circle 200,100 200,40' \) \
        -alpha off -compose CopyOpacity -composite PNG32:"$mark"
fi
mapfile -t corpus < <(find "$corpus_dir" -maxdepth 1 -type f \( -iname '*.jpg' -o -iname '*.jpeg' \
    -o -iname '*.png' \) | LC_ALL=C sort)
if ((${#corpus[@]} == 0)); then
    say "no pictures in $corpus_dir"
    exit 1
fi
n_jpeg=$(printf '%s\n' "${corpus[@]}" | grep -ciE '\.jpe?g$' || true)
n_png=$(printf '%s\n' "${corpus[@]}" | grep -ciE '\.png$' || true)
# The 20-MP photo is made from the most detailed corpus photo (string.jpg) when it is there;
# BIG_SOURCE picks another. Metadata is stripped so that it measures pixels only.
big_source=${BIG_SOURCE:-$corpus_dir/string.jpg}
if [[ ! -f $big_source ]]; then
    big_source=$(printf '%s\n' "${corpus[@]}" | grep -iE '\.jpe?g$' | head -n 1)
fi
big="$work/big20.jpg"
if [[ ! -s $big ]]; then
    say "making the 20-megapixel photo from $big_source"
    /usr/bin/convert "$big_source" -resize '5760x3600!' -strip -quality 92 "$big"
fi
corpus_note="Corpus: the pictures that Debian 12's ukui-wallpapers installs in $corpus_dir: \
$n_jpeg JPEG and $n_png PNG files (not the 24 JPEG photographs of 1.4 to 26 MP the plan assumed; \
this Debian package ships only these, all about 9 MP). The 20-MP photo is $(basename "$big_source") \
upscaled by ImageMagick to 5760 x 3600 at quality 92, metadata stripped. rhythm.jpg carries 7.3 MB of metadata (a large XMP block) that ImageMagick and GraphicsMagick copy into their PNG (about 3 MB of zTXt), which inflates their output bytes."

# --- where the time goes in ours, on the 20-MP photo ----------------------------------------
profile="$work/profile.md"
rm -f "$profile"
if [[ -z ${NO_PROFILE:-} && -x $bin/zandolex-cli && -x $bin/zx-bench-decode ]]; then
    say "profiling ours on the 20-MP photo"
    {
        echo "On the 20-MP photo, job (a), \`--jobs 1\`:"
        echo
        echo '```'
        echo "decode floor (our decoder alone, best of 3):"
        for _ in 1 2 3; do timeout 300 "$bin/zx-bench-decode" "$big" | awk -F'\t' '$1 != "total" {print $4}'; done |
            sort -n | head -n 1 | sed 's/^/  decode s: /'
        echo "ours, whole picture (wall s, best of 3):"
        for _ in 1 2 3; do
            rm -rf "$work/prof-out"
            mkdir -p "$work/prof-out"
            s=$(date +%s.%N)
            QT_QPA_PLATFORM=offscreen timeout 300 "$bin/zandolex-cli" --text "水印 Zandolex 2026" --jobs 1 \
                --output-dir "$work/prof-out" "$big" >/dev/null 2>&1
            e=$(date +%s.%N)
            awk -v s="$s" -v e="$e" 'BEGIN { printf "%.3f\n", e - s }'
        done | sort -n | head -n 1 | sed 's/^/  total s: /'
        echo '```'
        if command -v perf >/dev/null 2>&1; then
            rm -rf "$work/prof-out"
            mkdir -p "$work/prof-out"
            if QT_QPA_PLATFORM=offscreen timeout 300 perf record -q -F 1999 -g -o "$work/perf.data" -- \
                "$bin/zandolex-cli" --text "水印 Zandolex 2026" --jobs 1 --output-dir "$work/prof-out" \
                "$big" >/dev/null 2>&1; then
                echo
                echo "perf (cycles, self time) by library:"
                echo
                echo '```'
                perf report -i "$work/perf.data" --no-children -g none --sort dso --stdio 2>/dev/null |
                    grep -E '^ +[0-9]' | head -n 10 | sed 's/ *$//'
                echo '```'
                echo
                echo "perf, hottest functions:"
                echo
                echo '```'
                perf report -i "$work/perf.data" --no-children -g none --sort dso,symbol --stdio 2>/dev/null |
                    grep -E '^ +[0-9]' | head -n 15 | cut -c1-95 | sed 's/ *-* *-* *$//'
                echo '```'
            fi
        fi
    } >"$profile" || true
    cat "$profile" >&2
fi

# --- the tables -------------------------------------------------------------------------------
say "running the jobs (${#corpus[@]} files; repeats ${REPEATS:-3})"
"$python" "$bench/bench.py" \
    --bin-dir "$bin" --bench-dir "$bench" --work "$work" --mark "$mark" --big "$big" \
    --repeats "${REPEATS:-3}" --one-thread-repeats "${ONE_THREAD_REPEATS:-3}" \
    --peer-one-thread-repeats "${PEER_ONE_THREAD_REPEATS:-1}" \
    --results "$bench/RESULTS.md" --samples "$work/samples.json" --profile "$profile" --corpus-note "$corpus_note" \
    --build-note "$build_note" \
    --corpus "${corpus[@]}"
}

main "$@"
exit
