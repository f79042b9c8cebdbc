#!/usr/bin/env bash
# Lists every #include that points from a folder to a folder above it in the
# layering below, and fails if there is one. With --graph it also prints how
# many includes run from each folder to each other folder.
#
#   platform -> log -> sdk -> params -> features -> camera -> bus -> ui -> driver -> tools
#
# include/ holds the public C header; any folder may use it. Every spelling
# counts: "bus/x.h", <bus/x.h>, "../bus/x.h", #  include.
set -euo pipefail
cd "$(dirname "$0")/.."

layers=(platform log sdk params features camera bus ui driver tools)

graph=0
[[ "${1:-}" == "--graph" ]] && graph=1

rank_of() {
    local i
    for i in "${!layers[@]}"; do
        [[ "${layers[$i]}" == "$1" ]] && { echo "$i"; return; }
    done
    echo -1
}

declare -A rank
for layer in "${layers[@]}"; do rank[$layer]=$(rank_of "$layer"); done

declare -A edges
upward=0
while IFS=: read -r file line text; do
    from=${file%%/*}
    target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]([^">]+)[">].*/\1/' <<<"$text")
    # "../bus/x.h" and "./x.h" name a file from the includer's folder.
    [[ "$target" == .* ]] && target=$(realpath -m --relative-to=. "$(dirname "$file")/$target")
    to=${target%%/*}
    [[ "$target" == */* ]] || to=$from          # a file beside the includer
    [[ -n "${rank[$to]:-}" ]] || continue       # include/, system and third-party headers
    edges["$from -> $to"]=$(( ${edges["$from -> $to"]:-0} + 1 ))
    if (( ${rank[$to]} > ${rank[$from]} )); then
        echo "upward include: $file:$line: $target"
        upward=$((upward + 1))
    fi
done < <(grep -rn --include='*.h' --include='*.cpp' --include='*.c' \
             -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]' "${layers[@]}" 2>/dev/null || true)

if (( graph )); then
    for edge in "${!edges[@]}"; do
        printf '%5d  %s\n' "${edges[$edge]}" "$edge"
    done | sort -k2
fi
echo "$upward upward include(s)"
(( upward == 0 ))
