#!/usr/bin/env bash
# Formats the C++ sources of src/, tests/ and bench/ with the repository's .clang-format, using
# clang-format 14: every check uses that version, as another one formats some lines otherwise.
#   tools/format.sh          rewrite the files that differ
#   tools/format.sh --check  change nothing; list the files that differ and fail if there are any
set -euo pipefail
cd "$(dirname "$0")/.."
tool=clang-format-14
if ! command -v "$tool" >/dev/null; then
    echo "$tool is not installed (tools/setup.sh test installs it)" >&2
    exit 1
fi
mapfile -t files < <(find src tests bench -type f \( -name '*.cpp' -o -name '*.h' \) | LC_ALL=C sort)
differ=()
for f in "${files[@]}"; do
    "$tool" --style=file "$f" | cmp -s - "$f" || differ+=("$f")
done
if [ "${1:-}" = --check ]; then
    if [ ${#differ[@]} -gt 0 ]; then
        printf '%s\n' "${differ[@]}"
        echo "${#differ[@]} of ${#files[@]} files differ from $tool's output: run tools/format.sh" >&2
        exit 1
    fi
    echo "${#files[@]} files formatted as $tool has them"
    exit 0
fi
for f in "${differ[@]}"; do
    "$tool" --style=file -i "$f"
done
echo "${#differ[@]} of ${#files[@]} files reformatted"
