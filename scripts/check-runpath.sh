#!/usr/bin/env bash
# Fails when an ELF file (a program or library) under the given files or
# folders has a RUNPATH or RPATH entry that the loader would read against the
# current folder: an empty entry, ".", or any relative path. Absolute paths and
# $ORIGIN-based ones are fine.
#   check-runpath.sh build/ [more files or folders]
set -euo pipefail
status=0
checked=0
while IFS= read -r -d '' file; do
  [ "$(head -c 4 "$file" | od -An -c | tr -d ' ')" = '177ELF' ] || continue
  checked=$((checked + 1))
  while IFS= read -r paths; do
    IFS=: read -r -a entries <<<"$paths:"
    # A trailing ':' keeps a final empty entry visible to read.
    for entry in "${entries[@]}" ; do
      case "$entry" in
        /* | '$ORIGIN' | '$ORIGIN/'* | '${ORIGIN}' | '${ORIGIN}/'*) ;;
        *) echo "check-runpath: $file: entry \"$entry\" in [$paths] is read against the current folder" >&2
           status=1 ;;
      esac
    done
  done < <(readelf -d "$file" 2>/dev/null | sed -nE 's/.*\((RUNPATH|RPATH)\).*\[(.*)\]$/\2/p')
done < <(find "$@" -type f \( -perm -u+x -o -name "*.so*" \) -print0)
[ "$checked" -gt 0 ] || { echo "check-runpath: no ELF files under $*" >&2; exit 1; }
[ "$status" -eq 0 ] && echo "check-runpath: $checked ELF files, no entry read against the current folder"
exit $status
