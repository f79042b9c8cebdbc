#!/usr/bin/env bash
# Fails when a C or C++ file of the tree is not as clang-format (.clang-format)
# lays it out, listing the files; `--fix` formats them instead. Files named in
# .clang-format-ignore are left alone.
set -euo pipefail
cd "$(dirname "$0")/.."

fix=0
[[ "${1:-}" == "--fix" ]] && fix=1

ignored() {
    local file=$1 pattern
    while read -r pattern; do
        [[ -z "$pattern" || "$pattern" == \#* ]] && continue
        # shellcheck disable=SC2053
        [[ "$file" == $pattern ]] && return 0
    done < .clang-format-ignore
    return 1
}

unformatted=()
while read -r file; do
    ignored "$file" && continue
    if ((fix)); then
        clang-format -i "$file"
    elif ! clang-format --dry-run -Werror "$file" >/dev/null 2>&1; then
        unformatted+=("$file")
    fi
done < <(git ls-files '*.c' '*.cpp' '*.h')

if ((${#unformatted[@]})); then
    printf 'not formatted: %s\n' "${unformatted[@]}"
    echo "${#unformatted[@]} file(s) differ from clang-format; scripts/check-format.sh --fix formats them"
    exit 1
fi
echo "formatting holds"
