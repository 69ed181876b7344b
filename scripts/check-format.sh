#!/usr/bin/env bash
# Holds every C and C++ file a change touches to the repository's .clang-format, as Debian 12's
# clang-format 14 applies it; files nobody touched keep their layout. Touched means: differing
# between the format base and the work tree (so committed and uncommitted changes alike), or new
# and not ignored. The base is a fixed commit of the repository rather than a branch, so that a
# fresh clone with nothing but the repository (as CI has) finds it and checks what a branch or a
# merge brought since.
#   scripts/check-format.sh           check; prints each file's differences, fails on any
#   scripts/check-format.sh --fix     formats the touched files in place instead
#   TV_FORMAT_BASE=<commit> ...       another base, e.g. $(git merge-base main HEAD)
set -euo pipefail
cd "$(dirname "$0")/.."

# The commit the check started from (the one the format check was added on): everything changed
# since is held to the format.
base=${TV_FORMAT_BASE:-97048bc}
fix=0
case "${1:-}" in
  "") ;;
  --fix) fix=1 ;;
  *) echo "usage: $0 [--fix]" >&2; exit 2 ;;
esac

formatter=""
for candidate in clang-format-14 clang-format; do
  if command -v "$candidate" >/dev/null 2>&1; then formatter=$candidate; break; fi
done
if [ -z "$formatter" ]; then
  echo "check-format: clang-format not found (Debian: apt-get install clang-format)" >&2
  exit 1
fi
# Another major version lays out the same file differently: a pass or a failure would mean nothing.
if ! "$formatter" --version | grep -q "version 14\."; then
  echo "check-format: needs clang-format 14, found: $("$formatter" --version)" >&2
  exit 1
fi

if ! git rev-parse -q --verify "$base^{commit}" >/dev/null; then
  echo "check-format: format base $base is not in this clone's history (a shallow clone?)" >&2
  exit 1
fi

files=()
while IFS= read -r -d '' f; do
  case "$f" in
    *.c | *.cc | *.cpp | *.cxx | *.h | *.hh | *.hpp) [ -f "$f" ] && files+=("$f") ;;
  esac
done < <(git diff -z --name-only --no-renames --diff-filter=d "$base" -- && git ls-files -z --others --exclude-standard)

if [ ${#files[@]} -eq 0 ]; then
  echo "check-format: no C or C++ file changed since $base"
  exit 0
fi
if [ $fix -eq 1 ]; then
  "$formatter" -i --style=file "${files[@]}"
  echo "check-format: formatted ${#files[@]} files changed since $base"
  exit 0
fi

formatted=$(mktemp)
trap 'rm -f "$formatted"' EXIT
bad=0
for f in "${files[@]}"; do
  "$formatter" --style=file "$f" >"$formatted"
  if ! cmp -s "$f" "$formatted"; then
    bad=$((bad + 1))
    # The first lines of each file's differences: enough to see what the formatter wants.
    diff -u --label "$f" --label "$f (clang-format)" "$f" "$formatted" | head -40 || true
  fi
done
if [ $bad -gt 0 ]; then
  echo "check-format: $bad of ${#files[@]} changed files are not formatted; scripts/check-format.sh --fix formats them" >&2
  exit 1
fi
echo "check-format: ${#files[@]} changed files formatted"
