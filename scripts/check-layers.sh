#!/usr/bin/env bash
# Checks that no #include points up the layer order of the README:
# base <- lang <- platform <- kit <- install <- config <- ui <- app.
# A file of a layer may include its own layer and those before it; tools/,
# tests/ and bench/ sit above all of them. Prints each offending line and exits
# 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

layers=(base lang platform kit install config ui app)
rank() {
  local i
  for i in "${!layers[@]}"; do
    if [ "${layers[$i]}" = "$1" ]; then
      echo "$i"
      return
    fi
  done
  echo -1
}

bad=0
for layer in "${layers[@]}"; do
  own=$(rank "$layer")
  while IFS= read -r hit; do
    # hit: FILE:LINE:#include "target/..."
    target=$(sed -E 's/^[^:]*:[0-9]+:[[:space:]]*#[[:space:]]*include[[:space:]]*"([^/"]*)\/.*/\1/' <<<"$hit")
    theirs=$(rank "$target")
    if [ "$theirs" -gt "$own" ]; then
      echo "layer order: $hit ($layer may not include $target)" >&2
      bad=1
    elif [ "$theirs" -lt 0 ] && [ -d "$target" ]; then
      echo "layer order: $hit ($layer may not include $target/, which is above every layer)" >&2
      bad=1
    fi
  done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^/"]+/' "$layer" --include='*.h' --include='*.cpp' || true)
done
if [ "$bad" -ne 0 ]; then
  exit 1
fi
echo "includes follow the layer order: ${layers[*]}"
