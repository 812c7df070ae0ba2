#!/usr/bin/env bash
# Cost of one run of the tool, as ratios against baselines measured in the
# same run: instructions (valgrind's callgrind) against /bin/true, wall time
# of a patch against dd writing the same byte (bench/alternate.c times them),
# and instructions on a 5 GiB sparse recording against a 64-byte one. The static
# release binary (musl; the one in the .rpm and the tarballs) is measured
# against /bin/true and against an empty C program linked statically with
# musl, and the sizes of both static binaries, x86-64 and arm64, are given.
# The .deb's binary (dynamic, linked with -z now, so its loader binds every
# import at start) is measured against /bin/true too.
#   bench/run.sh [path/to/Varnholt [path/to/static/Varnholt [path/to/arm64/static/Varnholt [path/to/deb/Varnholt]]]]
#   (defaults: build the ci, release-linux-x86_64-static,
#   release-linux-aarch64-static and release-linux-x86_64 presets)
set -euo pipefail
cd "$(dirname "$0")/.."

tool=${1:-}
if [ -z "$tool" ]; then
    cmake --preset ci >/dev/null && cmake --build --preset ci --target Varnholt >/dev/null
    tool=build/ci/Varnholt
fi
static_tool=${2:-}
if [ -z "$static_tool" ]; then
    cmake --preset release-linux-x86_64-static >/dev/null &&
        cmake --build --preset release-linux-x86_64-static --target Varnholt >/dev/null
    static_tool=build/release-linux-x86_64-static/Varnholt
fi
arm64_static_tool=${3:-}
if [ -z "$arm64_static_tool" ]; then
    cmake --preset release-linux-aarch64-static >/dev/null &&
        cmake --build --preset release-linux-aarch64-static --target Varnholt >/dev/null
    arm64_static_tool=build/release-linux-aarch64-static/Varnholt
fi
deb_tool=${4:-}
if [ -z "$deb_tool" ]; then
    cmake --preset release-linux-x86_64 >/dev/null &&
        cmake --build --preset release-linux-x86_64 --target Varnholt >/dev/null
    deb_tool=build/release-linux-x86_64/Varnholt
fi
command -v valgrind >/dev/null || { echo "bench: needs valgrind" >&2; exit 1; }
cc=${CC:-cc}
command -v "$cc" >/dev/null || { echo "bench: needs a C compiler (cc, or set CC)" >&2; exit 1; }
command -v musl-gcc >/dev/null || { echo "bench: needs musl-gcc (musl-tools)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp samples/two-tracks.kelv "$work/small.kelv"
cp samples/two-tracks.kelv "$work/huge.kelv"
truncate -s 5G "$work/huge.kelv"
printf '\001' > "$work/byte"
printf 'int main(void){return 0;}\n' > "$work/empty.c"
musl-gcc -static -O2 -o "$work/empty" "$work/empty.c"

instructions() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
        sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }

floor=$(instructions /bin/true)
report=$(instructions "$tool" "$work/small.kelv")
patch=$(instructions "$tool" "$work/small.kelv" 1)
huge=$(instructions "$tool" "$work/huge.kelv" 1)
empty=$(instructions "$work/empty")
deb_report=$(instructions "$deb_tool" "$work/small.kelv")
static_report=$(instructions "$static_tool" "$work/small.kelv")
static_patch=$(instructions "$static_tool" "$work/small.kelv" 1)

# Wall time: the tool and dd take turns run by run, started by posix_spawn
# (a shell's own fork would be most of either run), and the medians are
# compared.
"$cc" -O2 -o "$work/alternate" bench/alternate.c
runs=${BENCH_RUNS:-2000}
dd_patch=(dd if="$work/byte" of="$work/small.kelv" bs=1 seek=47 count=1 conv=notrunc status=none)
read -r tool_ns dd_ns < <("$work/alternate" "$runs" "$tool" "$work/small.kelv" 1 -- "${dd_patch[@]}")
read -r static_ns static_dd_ns < <("$work/alternate" "$runs" "$static_tool" "$work/small.kelv" 1 -- "${dd_patch[@]}")

echo "instructions: /bin/true $floor, report $report, patch $patch, patch on 5 GiB $huge, .deb's report $deb_report"
echo "report run / /bin/true (instructions):  $(ratio "$report" "$floor")   goal <= 1.10"
echo "patch run / /bin/true (instructions):   $(ratio "$patch" "$floor")   goal <= 1.10"
echo "patch / dd conv=notrunc (wall time):    $(ratio "$tool_ns" "$dd_ns")   goal <= 0.85  (medians of $runs runs each)"
echo "5 GiB sparse / 64 bytes (instructions): $(ratio "$huge" "$patch")   goal within 1% of 1"
echo ".deb's report / /bin/true (instructions):  $(ratio "$deb_report" "$floor")"
echo "static release binary (musl): empty static C program $empty, report $static_report, patch $static_patch"
echo "static report / /bin/true (instructions):        $(ratio "$static_report" "$floor")   goal <= 0.08"
echo "static patch / /bin/true (instructions):         $(ratio "$static_patch" "$floor")   goal <= 0.08"
echo "static report / empty static C (instructions):   $(ratio "$static_report" "$empty")"
echo "static patch / empty static C (instructions):    $(ratio "$static_patch" "$empty")"
echo "static patch / dd conv=notrunc (wall time):      $(ratio "$static_ns" "$static_dd_ns")"
echo "static binary size, x86-64 (bytes):              $(stat -c %s "$static_tool")   goal <= 102400"
echo "static binary size, arm64 (bytes):               $(stat -c %s "$arm64_static_tool")   goal <= 102400"
