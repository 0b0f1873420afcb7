#!/usr/bin/env bash
# The shared library exports the public classes and nothing else: each symbol it defines for the dynamic
# linker belongs to a class or enumeration that a public header declares, and none names an internal type.
#   exported-symbols.sh <nm> <shared library> <public header folder>
set -euo pipefail

nm="$1"
library="$2"
headers="$3"

classes="$(grep -rhoE '^(class|struct|enum( class| struct)?) +(ZQB_EXPORT +)?ZQB[A-Za-z0-9_]+' "$headers" | awk '{ print $NF }' | sort -u)"
[ -n "$classes" ] || { echo "no public class in $headers" >&2; exit 1; }
names="$(echo "$classes" | paste -sd '|')"

symbols="$("$nm" -D -C --defined-only "$library" | cut -d' ' -f3-)"
echo "$symbols" | grep -q '^ZQBAnalytics::initialize(' || { echo "$library does not export ZQBAnalytics" >&2; exit 1; }
stray="$(echo "$symbols" |
    grep -vE "^((typeinfo|typeinfo name|vtable) for |(non-)?virtual thunk to )?($names)(::|$)" || true)"
internal="$(echo "$symbols" | grep 'zqb::' || true)"
if [ -n "$stray$internal" ]; then
    echo "$library exports more than the public classes:" >&2
    printf '%s\n%s\n' "$stray" "$internal" | sort -u | sed '/^$/d' | head -n 40 >&2
    exit 1
fi
echo "$library exports $(echo "$symbols" | wc -l) symbols, all of the public classes"
