#!/usr/bin/env bash
# Holds every C and C++ file of the tree (tracked, or new and not ignored) to the repository's
# .clang-format, as Debian 12's clang-format 14 applies it.
#   scripts/check-format.sh           check; prints each file's differences, fails on any
#   scripts/check-format.sh --fix     formats the files in place instead
#   TV_FORMAT_BASE=<commit> ...       only the files that differ from that commit (the work tree's
#                                     changes included), e.g. $(git merge-base main HEAD)
set -euo pipefail
cd "$(dirname "$0")/.."

base=${TV_FORMAT_BASE:-}
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

if [ -n "$base" ] && ! git rev-parse -q --verify "$base^{commit}" >/dev/null; then
  echo "check-format: format base $base is not in this clone's history (a shallow clone?)" >&2
  exit 1
fi

files=()
while IFS= read -r -d '' f; do
  case "$f" in
    *.c | *.cc | *.cpp | *.cxx | *.h | *.hh | *.hpp) [ -f "$f" ] && files+=("$f") ;;
  esac
done < <(if [ -n "$base" ]; then git diff -z --name-only --no-renames --diff-filter=d "$base" --; else git ls-files -z; fi &&
  git ls-files -z --others --exclude-standard)
what=${base:+changed since $base}
what=${what:-of the tree}

if [ ${#files[@]} -eq 0 ]; then
  echo "check-format: no C or C++ file $what"
  exit 0
fi
if [ $fix -eq 1 ]; then
  "$formatter" -i --style=file "${files[@]}"
  echo "check-format: formatted ${#files[@]} files $what"
  exit 0
fi

# Each file against its formatted self, several at a time; the names of those that differ.
export formatter
differ=$(printf '%s\0' "${files[@]}" | xargs -0 -P "$(nproc)" -n 16 bash -c '
  for f; do "$formatter" --style=file "$f" | cmp -s - "$f" || echo "$f"; done' _)
if [ -n "$differ" ]; then
  formatted=$(mktemp)
  trap 'rm -f "$formatted"' EXIT
  bad=0
  while IFS= read -r f; do
    bad=$((bad + 1))
    # The first lines of each file's differences: enough to see what the formatter wants.
    "$formatter" --style=file "$f" >"$formatted"
    diff -u --label "$f" --label "$f (clang-format)" "$f" "$formatted" | head -40 || true
  done <<<"$differ"
  echo "check-format: $bad of ${#files[@]} files $what are not formatted; scripts/check-format.sh --fix formats them" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files $what formatted"
