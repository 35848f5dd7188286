#!/usr/bin/env bash
# Checks that the C++ files changed since the merge base with main (or
# origin/main when only that exists) follow .clang-format, with Debian 12's
# clang-format-14; every C++ file on main itself or when there is no merge
# base. Lists the files that are off and how to fix them. Exits 1 when any
# is off, 2 when clang-format-14 is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

formatter=clang-format-14
if ! command -v "$formatter" >/dev/null; then
  echo "check-format: $formatter is missing; scripts/install-deps.sh installs it" >&2
  exit 2
fi

base=""
for ref in main origin/main; do
  if git rev-parse --verify -q "$ref^{commit}" >/dev/null; then
    base=$(git merge-base HEAD "$ref" 2>/dev/null) || base=""
    break
  fi
done

files=()
# On main itself nothing is "changed since main": check the whole tree then,
# which follows the format as a whole.
if [ -n "$base" ] && [ "$base" = "$(git rev-parse HEAD)" ] && git diff --quiet HEAD -- '*.cpp' '*.h'; then
  base=""
fi

if [ -n "$base" ]; then
  scope="changed since $(git rev-parse --short "$base")"
  # Committed and uncommitted changes alike, new untracked files too.
  mapfile -d '' files < <({
    git diff -z --name-only --diff-filter=d "$base" -- '*.cpp' '*.h'
    git ls-files -z --others --exclude-standard -- '*.cpp' '*.h'
  } | sort -zu)
else
  scope="in the tree"
  mapfile -d '' files < <(git ls-files -z -- '*.cpp' '*.h')
fi

if [ ${#files[@]} -eq 0 ]; then
  echo "check-format: no C++ files $scope"
  exit 0
fi

# Starting the formatter costs more than checking a file, so files are
# checked a hundred to a run; only a run that finds something off is gone
# through file by file, to name them.
off=()
for ((i = 0; i < ${#files[@]}; i += 100)); do
  batch=("${files[@]:i:100}")
  "$formatter" --dry-run --Werror "${batch[@]}" >/dev/null 2>&1 && continue
  for file in "${batch[@]}"; do
    "$formatter" --dry-run --Werror "$file" >/dev/null 2>&1 || off+=("$file")
  done
done

if [ ${#off[@]} -eq 0 ]; then
  echo "check-format: the ${#files[@]} C++ files $scope follow .clang-format"
  exit 0
fi
echo "check-format: ${#off[@]} of the ${#files[@]} C++ files $scope are off .clang-format:" >&2
for file in "${off[@]}"; do echo "  $file" >&2; done
echo "check-format: see the differences with '$formatter --dry-run FILE'; fix each file with:" >&2
for file in "${off[@]}"; do printf '  %s -i %q\n' "$formatter" "$file" >&2; done
exit 1
