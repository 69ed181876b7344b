#!/usr/bin/env bash
# Runs clang-tidy (Debian 12's clang-tidy 14, the checks of .clang-tidy) over the product's C++
# sources a change touches, in parallel, on a build tree's compile database; any finding fails.
# Touched means, as for the format check: differing between the tidy base and the work tree, or
# new and not ignored. A changed header counts through the sources of its folder that include it.
# The base is the commit scripts/tidy-base names: one the whole check last passed at, moved
# forward when a change lands, so that a run checks what came since instead of everything since
# .clang-tidy came (without the file, that commit is the base). A change to .clang-tidy itself
# checks every product source.
#   scripts/check-tidy.sh [BUILD_DIR]      default build-test (configured with the compile database)
#   TV_TIDY_BASE=<commit> ...               another base, e.g. $(git merge-base main HEAD)
#   TV_TIDY_JOBS=<n> ...                    parallel runs (default: the processors)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-test}

tidy=""
for candidate in clang-tidy-14 clang-tidy; do
  if command -v "$candidate" >/dev/null 2>&1; then tidy=$candidate; break; fi
done
if [ -z "$tidy" ]; then
  echo "check-tidy: clang-tidy not found (Debian: apt-get install clang-tidy)" >&2
  exit 1
fi
if [ ! -f "$build/compile_commands.json" ]; then
  echo "check-tidy: $build/compile_commands.json missing (configure with -DCMAKE_EXPORT_COMPILE_COMMANDS=ON)" >&2
  exit 1
fi
base=${TV_TIDY_BASE:-}
if [ -z "$base" ] && [ -f scripts/tidy-base ]; then
  base=$(grep -v '^#' scripts/tidy-base | head -1)
fi
# Before .clang-tidy is committed, the change under way is what it brings.
base=${base:-$(git log --diff-filter=A --format=%H -- .clang-tidy | tail -1)}
base=${base:-HEAD}
if ! git rev-parse -q --verify "$base^{commit}" >/dev/null; then
  echo "check-tidy: the tidy base ${base:0:12} is not in this clone's history (a shallow clone?)" >&2
  exit 1
fi

folders='util|platform|resources|iiapi|drv_ingii|scrs|xa|odbc'
if git diff --quiet "$base" -- .clang-tidy; then
  changed=$( (git diff --name-only --no-renames --diff-filter=d "$base" -- && git ls-files --others --exclude-standard) |
    grep -E "^($folders)/[^/]+\.(cpp|h)$" | sort -u || true)
else
  changed=$(git ls-files | grep -E "^($folders)/[^/]+\.cpp$" || true)
fi
if [ -z "$changed" ]; then
  echo "check-tidy: no product source changed since ${base:0:12}"
  exit 0
fi
# Sources themselves, and for a header the sources of its folder that include it.
sources=$(for f in $changed; do
  case "$f" in
    *.cpp) [ -f "$f" ] && echo "$f" ;;
    *.h) [ -f "$f" ] && { grep -lF "#include \"$f\"" "$(dirname "$f")"/*.cpp 2>/dev/null || true; } ;;
  esac
done | sort -u)
# Only what the build compiles (a tool or a file of another build may be absent from it).
sources=$(python3 - "$build/compile_commands.json" $sources <<'EOF'
import json, os, sys
known = {os.path.realpath(e["file"]) for e in json.load(open(sys.argv[1]))}
print("\n".join(f for f in sys.argv[2:] if os.path.realpath(f) in known))
EOF
)
if [ -z "$sources" ]; then
  echo "check-tidy: no compiled source among the changes since ${base:0:12}"
  exit 0
fi
count=$(echo "$sources" | wc -l)
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! echo "$sources" | xargs -P "${TV_TIDY_JOBS:-$(nproc)}" -n 1 "$tidy" -p "$build" --quiet >"$log" 2>&1; then
  grep -E "(warning|error):" "$log" | sort -u | head -60
  echo "check-tidy: findings in the $count sources changed since ${base:0:12} (see .clang-tidy)" >&2
  exit 1
fi
echo "check-tidy: $count changed sources clean"
