#!/bin/sh
# Peak memory of the main road: `tavolin compile` of generated sources into a
# new and into an existing target (the axis example's; for the grown source
# that compiles whole, the target its own compile wrote) under /usr/bin/time -v,
# beside the size of the source and of the working file the entry method
# makes of it.
#
#   bench/main_road_rss.sh [BUILD_DIR] [MB...]
#
# BUILD_DIR (default build-rel, else build) must hold host/tavolin,
# tools/mksymb/mksymb and bench/bench_main_road; the compiles run with the
# stand-in class provider (--flag 0), as the bench's. The MB values (default 1 10 100) size the grown
# sources; a source of 40 MB of blank lines followed by a section of every
# kind is always measured too ("blank40"), and at each size the text floods
# and the sources of one huge token.
set -eu

build=${1:-}
[ $# -gt 0 ] && shift
if [ -z "$build" ]; then
    if [ -x build-rel/host/tavolin ]; then build=build-rel; else build=build; fi
fi
sizes=${*:-1 10 100}
tavolin=$build/host/tavolin
bench=$build/bench/bench_main_road
for f in "$tavolin" "$bench" "$build/tools/mksymb/mksymb" /usr/bin/time; do
    [ -x "$f" ] || { echo "missing $f" >&2; exit 1; }
done

dir=$(mktemp -d "${TMPDIR:-/tmp}/tv_main_road_rss.XXXXXX")
trap 'rm -rf "$dir"' EXIT

# The existing target: what a compile of the axis example with a resource
# script and its system variables (which the stand-in class provider writes
# as "symb") writes (the grown sources fail steps, which write no target).
existing=$dir/existing.dsc
TVCLSPRV_SECTION=symb TVCLSPRV_SECTION_TEXT=$("$build/tools/mksymb/mksymb" "$(dirname "$0")/../examples/axis.sysvars") \
    "$tavolin" compile "$(dirname "$0")/../examples/axis.tos" -o "$existing" --rc "$dir/existing.rc" --flag 0 \
    >/dev/null 2>&1 || true
[ -f "$existing" ] || { echo "no existing target could be made" >&2; exit 1; }

# Peak resident set of one compile, in KB, and its seconds. A third
# argument, the symbol-table file of the source's system variables, has the
# stand-in class provider write it and gives a resource script: the grown
# source that compiles whole.
peak() {
    if [ $# -gt 2 ]; then
        rm -f "$dir/whole.rc"
        TVCLSPRV_SECTION=symb TVCLSPRV_SECTION_FILE=$3 /usr/bin/time -v "$tavolin" compile "$1" -o "$2" --flag 0 \
            --rc "$dir/whole.rc" >/dev/null 2>"$dir/time" || true
    else
        /usr/bin/time -v "$tavolin" compile "$1" -o "$2" --flag 0 >/dev/null 2>"$dir/time" || true
    fi
    kb=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$dir/time")
    s=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$dir/time")
    echo "$kb $s"
}

printf '%-8s %10s %10s %12s %12s %8s %8s %10s %10s\n' case source_MB work_MB new_peak_MB old_peak_MB \
    new/src new/work new_time old_time
run() {
    name=$1 src=$2 symb=${3:-}
    target=$dir/$name.dsc
    rm -f "$target"
    set -- $(peak "$src" "$target" ${symb:+"$symb"})
    newkb=$1 newt=$2
    # The whole compile's existing target is the one it has just written.
    [ -n "$symb" ] || cp "$existing" "$target"
    set -- $(peak "$src" "$target" ${symb:+"$symb"})
    oldkb=$1 oldt=$2
    srcb=$(stat -c %s "$src")
    workb=$("$bench" --working-size "$src" "$existing")
    awk -v n="$name" -v s="$srcb" -v w="$workb" -v a="$newkb" -v b="$oldkb" -v ta="$newt" -v tb="$oldt" 'BEGIN {
        mb = 1048576
        printf "%-8s %10.1f %10.1f %12.1f %12.1f %8.2f %8.2f %10s %10s\n", n, s / mb, w / mb, a / 1024, b / 1024,
               a * 1024 / s, a * 1024 / w, ta, tb }'
    rm -f "$target"
}

for mb in $sizes; do
    "$bench" --write-source "$dir/src$mb.tos" "$mb"
    run "grown$mb" "$dir/src$mb.tos"
    rm -f "$dir/src$mb.tos"
    "$bench" --write-whole "$dir/whole$mb.tos" "$mb"
    run "whole$mb" "$dir/whole$mb.tos" "$dir/whole$mb.tos.symb"
    rm -f "$dir/whole$mb.tos" "$dir/whole$mb.tos.symb" "$dir"/whole$mb.m4? "$dir/whole.rc"
done
# Sources whose one text section holds far more texts than a source has
# ids, or one token of the whole section (bench/text_flood.h): memory must
# not grow with what lies past the last id, nor hold a long token more than
# once.
for mb in $sizes; do
    for kind in alarm_quotes alarm_texts configs bit_types alarm_error_texts boot_error_texts var_comments \
        boot_comments huge_io_text huge_bf_name huge_vrx_text huge_mc_text; do
        "$bench" --write-texts "$dir/texts.tos" "$kind" "$mb"
        run "$kind$mb" "$dir/texts.tos"
        rm -f "$dir/texts.tos"
    done
done
"$bench" --write-blank "$dir/blank40.tos" 40
run blank40 "$dir/blank40.tos"
