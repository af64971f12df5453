# Sourced by the shell tests in tests/sh: a throwaway folder $work (removed on exit), fail MESSAGE
# to count a failed check and go on, run_cli STATUS ARGS... to run $cli in $work and check its exit
# status (stdout in $work/out.txt, stderr in $work/err.txt), and finish NAME to end with the verdict.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

run_cli() {
  local want=$1
  shift
  (cd "$work" && "$cli" "$@" >"$work/out.txt" 2>"$work/err.txt")
  local got=$?
  [ "$got" -eq "$want" ] || fail "$* exited $got, expected $want: $(cat "$work/err.txt")"
}

finish() {
  if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "$1: all checks passed"
}
