#!/usr/bin/env bash
# scripts/run over the arguments it may be given: SOURCE first or left out,
# options whose values begin with "-", a source after the options, a second
# run into the target of the first, and wrong usage that the command refuses.
# Each case runs the real compile with the command as built (no setup, no
# build) and checks the command line the script prints, its exit status and
# the target it names in its last line. The printed line, pasted into a
# shell, runs the same compile again; a step of the script that fails (the
# command not built, a bad system-variable list) says which, with status 3.
#
# usage: run_args_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
S=$(cd "$1" && pwd)
B=$(cd "$2" && pwd)
T=$(mktemp -d "${TMPDIR:-/tmp}/tavolin-run-args-XXXXXX")
trap 'rm -rf "$T"' EXIT
TMP=$T/tmp
mkdir "$TMP"
AXIS=$S/examples/axis.tos
ENC=$S/examples/encoder.tos
# The script's own target and resource script in $TMPDIR, by its process id.
RUNDSC="$TMP/tavolin-run-+([0-9]).dsc"
RUNRC="$TMP/tavolin-run-+([0-9]).rc"
# The class provider's environment and the command, before its arguments.
CMD="TVCLSPRV_SECTION=symb TVCLSPRV_SECTION_FILE=$TMP/tavolin-run-+([0-9]).symb $B/host/tavolin"
shopt -s extglob

failures=0 cases=0
# check STATUS TARGET LINE ARGS...: the printed command line (SOURCE, the
# target and resource script the script adds, its --flag 0, then the
# arguments given, in their order) matches the pattern LINE, the exit status is STATUS, and with status 0 the last line
# names TARGET (a pattern) as written, and that file is there.
check() {
  local want_rc=$1 want_target=$2 want_line=$3
  shift 3
  cases=$((cases + 1))
  local out rc line last written
  out=$(cd "$T" && TMPDIR=$TMP BUILD_DIR=$B TAVOLIN_RUN_NO_BUILD=1 TAVOLIN_SETTINGS= \
    "$S/scripts/run" "$@" 2>&1)
  rc=$?
  line=$(grep -m1 "^TVCLSPRV_SECTION=symb .*/host/tavolin compile " <<<"$out")
  last=$(tail -n1 <<<"$out")
  local why=
  # shellcheck disable=SC2053
  [[ $line == $CMD\ ${want_line#tavolin } ]] || why="printed: $line"$'\n'"  wanted: $want_line"
  [ "$rc" -eq "$want_rc" ] || why+=" exit status $rc, wanted $want_rc"
  if [ "$want_rc" -eq 0 ] && [ -z "$why" ]; then
    written=${last##*result: }
    # shellcheck disable=SC2053
    if [[ $last != *"exit status 0 "*"; result: "* || $written != $want_target ]]; then
      why="last line: $last"
    elif [ ! -s "$written" ]; then
      why="$written is not there"
    fi
  fi
  if [ -n "$why" ]; then
    failures=$((failures + 1))
    printf 'FAILED: scripts/run %s\n  %s\n--- its output:\n%s\n---\n' "$*" "$why" "$out"
  fi
}

# Left out, SOURCE is the axis example, whatever the options are.
check 0 "$RUNDSC" "tavolin compile $AXIS -o $RUNDSC --rc $RUNRC --flag 0"
check 0 "$T/a.dsc" "tavolin compile $AXIS --flag 0 -o $T/a.dsc" -o "$T/a.dsc"
check 0 "$RUNDSC" "tavolin compile $AXIS -o $RUNDSC --rc $RUNRC --flag 0 --max-messages 5" --max-messages 5
check 0 "$T/b.dsc" "tavolin compile $AXIS --flag 0 -o $T/b.dsc" --flag 0 -o "$T/b.dsc"
check 0 "$RUNDSC" "tavolin compile $AXIS -o $RUNDSC --flag 0 --rc $T/r.rc" --rc "$T/r.rc"
# The second run into the target the first wrote.
check 0 "$T/a.dsc" "tavolin compile $AXIS --flag 0 -o $T/a.dsc" -o "$T/a.dsc"
# A value that begins with "-" is the option's value, not an option.
check 0 "$T/c.dsc" "tavolin compile $AXIS --flag 0 --rc-text --flag -o $T/c.dsc" --rc-text --flag -o "$T/c.dsc"
check 0 "$RUNDSC" "tavolin compile $AXIS -o $RUNDSC --flag 0 --rc-text -o --rc $T/s.rc" --rc-text -o --rc "$T/s.rc"
check 0 "$T/d.dsc" "tavolin compile $AXIS --flag 0 --rc-text --rc -o $T/d.dsc" --rc-text --rc -o "$T/d.dsc"
# SOURCE first, or after the options.
check 0 "$T/e.dsc" "tavolin compile $ENC --flag 0 -o $T/e.dsc" "$ENC" -o "$T/e.dsc"
check 0 "$T/f.dsc" "tavolin compile $ENC --flag 0 -o $T/f.dsc --max-messages 5" -o "$T/f.dsc" "$ENC" --max-messages 5
# Wrong usage reaches the command, which refuses it (exit status 2).
check 2 "" "tavolin compile $AXIS -o $RUNDSC --rc $RUNRC --flag 0 -" -
check 2 "" "tavolin compile $AXIS -o $RUNDSC --rc $RUNRC --flag 0 --bogus" --bogus
check 2 "" "tavolin compile $AXIS -o $RUNDSC --rc $RUNRC --flag 0 -o" -o
check 2 "" "tavolin compile $AXIS --flag 0 -o $T/g.dsc $ENC" "$AXIS" -o "$T/g.dsc" "$ENC"
check 2 "" "tavolin compile $AXIS --flag 0 -o $T/h.dsc --max-messages -o" -o "$T/h.dsc" --max-messages -o

# failed WHAT: counts a case that went wrong.
failed() {
  failures=$((failures + 1))
  printf 'FAILED: %s\n' "$1"
}
# runs ARGS...: scripts/run as in check, its output in $out and status in $rc.
runs() {
  cases=$((cases + 1))
  out=$(cd "$T" && TMPDIR=$TMP BUILD_DIR=${build:-$B} TAVOLIN_RUN_NO_BUILD=1 TAVOLIN_SETTINGS= \
    "$S/scripts/run" "$@" 2>&1)
  rc=$?
}

# The printed line, pasted into a shell, runs the same compile: the same step
# lines and the same files, for names a shell must have quoted.
P="$T/o k \$HOME"
mkdir "$P"
cp "$AXIS" "$P/it's \$a.tos"
cp "$S/examples/axis.sysvars" "$P/it's \$a.sysvars"
runs "$P/it's \$a.tos" -o "$P/p q.dsc" --rc-text $'say "x"\t\\n'
line=$(grep -m1 '/host/tavolin compile ' <<<"$out")
steps() { grep -E '^[A-Za-z]+: ' <<<"$1" | grep -v '^system variables: '; }
files=("$P/p q.dsc" "$P/p q.rc" "$P/p q.m4h" "$P/p q.m4c")
if [ "$rc" -ne 0 ] || [[ $out != *"exit status 0 "* ]] || [[ $line != TVCLSPRV_SECTION=symb\ * ]]; then
  failed "a run under names to quote: $rc"$'\n'"$out"
else
  mkdir "$T/first"
  cp "${files[@]}" "$T/first/"
  rm -f "${files[@]}"
  again=$(cd "$T" && env -u TVCLSPRV_SECTION -u TVCLSPRV_SECTION_FILE TMPDIR=$TMP bash -c "$line" 2>&1)
  [ "$(steps "$again")" == "$(steps "$out")" ] && [ -n "$(steps "$out")" ] ||
    failed "the pasted line ran other steps:"$'\n'"$line"$'\n'"$again"$'\n'"--- the run's:"$'\n'"$out"
  for f in "${files[@]}"; do
    cmp -s "$f" "$T/first/${f##*/}" || failed "the pasted line wrote another $f"
  done
fi

# A step of the script that fails says which and ends with status 3: the
# command not built, a system-variable list that mksymb refuses (nothing is
# compiled, and no table is left).
mkdir "$T/empty"
build=$T/empty runs
[ "$rc" -eq 3 ] && [ "$(tail -n1 <<<"$out")" == "run: the tavolin command is not built ($T/empty/host/tavolin); \
nothing was compiled" ] || failed "nothing built: $rc"$'\n'"$out"
cp "$AXIS" "$T/bad.tos"
echo "1 speed NOTATYPE" >"$T/bad.sysvars"
tables=$(ls "$TMP"/*.symb | wc -l)
runs "$T/bad.tos" -o "$T/bad.dsc"
[ "$rc" -eq 3 ] && [ "$(tail -n1 <<<"$out")" == "run: mksymb could not make the system-variable table of \
$T/bad.sysvars (exit status 1); nothing was compiled" ] && [ ! -e "$T/bad.dsc" ] &&
  [ "$(ls "$TMP"/*.symb | wc -l)" -eq "$tables" ] || failed "a bad system-variable list: $rc"$'\n'"$out"

# The resource scripts the options named were written.
for rc in r.rc s.rc; do
  [ -s "$T/$rc" ] || { failures=$((failures + 1)); echo "FAILED: $rc was not written"; }
done
echo "$((cases - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
