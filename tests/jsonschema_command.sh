#!/bin/sh
# The README's check of a scan row, with Debian's jsonschema: a row velpin-cli prints passes, and
# the same row with an old key name is refused for that key, not for a schema it could not read.
# Usage: jsonschema_command.sh VELPIN_CLI SCHEMA_FOLDER MOVIE
set -u
schema=$2
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT && cd "$work" || exit 1
"$1" scan --inflate --info "$3" > archive.jsonl || exit 1
head -n 1 archive.jsonl | /usr/bin/jsonschema --base-uri "file://$schema/" "$schema/scan-row.schema.json" || exit 1
sed 's/"signature": /"container": /' archive.jsonl > wrong.jsonl
if head -n 1 wrong.jsonl | /usr/bin/jsonschema --base-uri "file://$schema/" "$schema/scan-row.schema.json" 2> refused.txt; then
    exit 1
fi
cat refused.txt
grep -q "'signature' is a required property" refused.txt
