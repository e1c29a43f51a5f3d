#!/usr/bin/env bash
# The manual page and the help cannot drift apart: every subcommand and every
# long option that the program's help lists (as it ships) is in the page.
#   manual_check.sh PROGRAM PAGE
set -euo pipefail
cli="$1" page="$2"
text="$(sed 's/\\-/-/g' "$page")"
missing=()
for option in $("$cli" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u); do
  grep -qF -- "$option" <<<"$text" || missing+=("$option")
done
for command in $("$cli" --help | sed -n '/^子命令:/,$p' | awk 'NR > 1 && NF { print $1 }'); do
  grep -qE "^\.B(R)? $command\b|^\.B dio-cli $command\b" <<<"$text" || missing+=("$command")
  for option in $("$cli" "$command" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u); do
    grep -qF -- "$option" <<<"$text" || missing+=("$command $option")
  done
done
# As man shows it (groff): the escapes in macros read as meant, the Windows
# path of the records whole.
shown="$(groff -man -Tutf8 -rLL=250n "$page" 2>&1 | sed 's/.\x08//g')"
grep -qF '%LOCALAPPDATA%\dio-panel\results.sqlite' <<<"$shown" || missing+=("the Windows path, as shown")
if grep -qF 'warning' <<<"$shown"; then missing+=("groff's warnings: $(grep -F warning <<<"$shown")"); fi
if [ ${#missing[@]} -gt 0 ]; then
  for item in "${missing[@]}"; do echo "manual-check: not in $page: $item" >&2; done
  exit 1
fi
echo "manual-check: every subcommand and option of the help is in $(basename "$page")"
