#!/usr/bin/env bash
# Runs one block of commands from a Markdown file, as a reader would type
# them, from the folder it is started in: the ```sh block between the lines
# <!-- run: NAME --> and <!-- end of run -->. CI runs the docs' commands this
# way, so a command that the docs show is one that works.
#
#   tests/docs/run_block.sh FILE NAME
set -euo pipefail
file=$1
name=$2
block=$(sed -n "/^<!-- run: $name -->\$/,/^<!-- end of run -->\$/p" "$file" | sed '1d;$d' | grep -v '^```')
[ -n "$block" ] || { echo "$file has no block '$name'"; exit 1; }
echo "$block" | sed 's/^/+ /'
bash -euo pipefail -c "$block"
