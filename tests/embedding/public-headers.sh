#!/usr/bin/env bash
# Compiles every public header in a translation unit of its own, all of them together in one more, and the
# given C++17 host sources, as C++17 and as C++20 with each compiler given and warnings as errors, the way a
# host includes them (as ordinary headers, whose warnings are not hidden).
#   public-headers.sh <include dir> <host source>... -- <compiler>...
set -euo pipefail

include_dir="$1"
shift
sources=()
while [ "$#" -gt 0 ] && [ "$1" != "--" ]; do
    sources+=("$1")
    shift
done
shift
[ "$#" -gt 0 ] || { echo "no compiler given" >&2; exit 2; }

flags=(-fsyntax-only -Wall -Wextra -Wpedantic -Wconversion -Wshadow -Werror -I"$include_dir")
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

all="$work/all_headers.cpp"
for header in "$include_dir"/ZQBAnalytics/*.hpp "$include_dir"/ZQBAnalytics/module/*.hpp; do
    name="${header#"$include_dir"/}"
    unit="$work/$(echo "$name" | tr '/.' '__').cpp"
    echo "#include <$name>" >"$unit"
    echo "#include <$name>" >>"$all"
    sources+=("$unit")
done
sources+=("$all")

# Four compiles at a time; each writes its outcome next to its output.
count=0
for compiler in "$@"; do
    for standard in c++17 c++20; do
        for source in "${sources[@]}"; do
            while [ "$(jobs -rp | wc -l)" -ge 4 ]; do wait -n || true; done
            count=$((count + 1))
            (
                status=0
                "$compiler" -std="$standard" "${flags[@]}" "$source" >"$work/$count.log" 2>&1 || status=$?
                echo "$compiler -std=$standard $(basename "$source")" >"$work/$count.name"
                echo "$status" >"$work/$count.status"
            ) &
        done
    done
done
wait

failed=0
for i in $(seq 1 "$count"); do
    if [ "$(cat "$work/$i.status")" != 0 ] || [ -s "$work/$i.log" ]; then
        echo "=== $(cat "$work/$i.name")"
        cat "$work/$i.log"
        failed=$((failed + 1))
    fi
done
echo "public headers as C++17 and C++20: $count compiles, $failed failed"
[ "$failed" -eq 0 ]
