# Sourced by the shell tests in tests/sh: a throwaway folder $work (removed on exit), fail MESSAGE
# to count a failed check and go on, and finish NAME to end with the verdict.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

finish() {
  if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "$1: all checks passed"
}
