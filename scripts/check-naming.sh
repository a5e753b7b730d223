#!/usr/bin/env bash
# Checks the names in the C++ files changed since a base commit against .clang-tidy's naming rules.
# Usage: scripts/check-naming.sh BUILD_DIR [BASE]
# BASE defaults to the merge base with origin/main when HEAD is ahead of it, else HEAD's parent.
# A changed header is checked through the source file of the same name beside it, when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:?build directory with compile_commands.json}
base=${2:-}
if [ -z "$base" ]; then
  if git rev-parse -q --verify origin/main >/dev/null &&
    [ "$(git merge-base HEAD origin/main)" != "$(git rev-parse HEAD)" ]; then
    base=$(git merge-base HEAD origin/main)
  elif git rev-parse -q --verify HEAD~1 >/dev/null; then
    base=HEAD~1
  else
    echo "naming: no earlier commit to compare with; nothing checked"
    exit 0
  fi
fi

tidy=$(command -v clang-tidy || command -v clang-tidy-14 || true)
if [ -z "$tidy" ]; then
  echo "naming: clang-tidy is not installed (scripts/install-deps.sh installs it)" >&2
  exit 1
fi

declare -A sources=()
while IFS= read -r path; do
  [ -f "$path" ] || continue
  case "$path" in
  *.cpp) sources["$path"]=1 ;;
  *.h) [ -f "${path%.h}.cpp" ] && sources["${path%.h}.cpp"]=1 ;;
  esac
done < <(git diff --name-only "$base" -- src tests bench fuzz tools)

# Only files the build compiles have a command line to check them with.
checked=()
for path in "${!sources[@]}"; do
  grep -q "\"file\": \".*/$path\"" "$build/compile_commands.json" && checked+=("$path")
done
if [ ${#checked[@]} -eq 0 ]; then
  echo "naming: no changed source file since $base"
  exit 0
fi
echo "naming: checking ${#checked[@]} changed source files since $base"
# clang-tidy counts the warnings it left out (in system headers) on stderr; only findings are shown.
# Headers are checked where they lie in the source tree, not where the build generates them (the
# .moc files that Qt tests include, ui_*.h), even when the build folder lies inside the tree.
root=$(pwd | sed 's/[].[^$*+?(){}|\\]/\\&/g')
printf '%s\n' "${checked[@]}" | sort |
  xargs -P "${JOBS:-2}" -n 4 "$tidy" -p "$build" --quiet --warnings-as-errors='readability-identifier-naming' \
    --header-filter="^$root/(src|tests|bench|fuzz|tools)/" \
    2> >(grep -v '^[0-9]* warnings\? generated\.$' >&2)
