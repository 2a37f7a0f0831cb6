#!/usr/bin/env bash
# The format check of the test command: every C++ file of the tree must be exactly what
# Debian's clang-format 14 (pinned in setup.sh) makes of it under .clang-format. Names
# each file that differs and exits 1; `clang-format-14 -i FILE` mends one.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

formatter=clang-format-14
if ! command -v "$formatter" >/dev/null; then
    echo "format: $formatter is missing (scripts/setup.sh installs it)" >&2
    exit 1
fi

mapfile -t files < <(find app bench core fuzz storage tests ui -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
unformatted=()
for file in "${files[@]}"; do
    if ! "$formatter" --dry-run -Werror "$file" >/dev/null 2>&1; then
        unformatted+=("$file")
    fi
done

if [ ${#unformatted[@]} -gt 0 ]; then
    echo "format: ${#unformatted[@]} of ${#files[@]} files differ from $formatter's layout:"
    printf '  %s\n' "${unformatted[@]}"
    exit 1
fi
echo "format: ${#files[@]} files as $formatter lays them out"
