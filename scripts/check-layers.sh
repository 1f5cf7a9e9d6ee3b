#!/usr/bin/env bash
# Checks the layer order of the README:
#   base <- lang <- platform <- kit <- {install, config} <- run <- ui <- app
# install and config are siblings: neither may use the other. A file of a layer
# may include its own layer and those before it; tools/, tests/ and bench/ sit
# above all of them. Three things are refused:
#   - an #include that points up the order or across to a sibling;
#   - a forward declaration at namespace scope ("struct X;" or "class X;" at
#     the start of a line) of a type that only a layer the file may not
#     include defines (the include check cannot see such a use);
#   - a POSIX or Linux system header outside platform/: the other layers and
#     tools/ reach the system through platform's services (tests/ and bench/
#     may include them).
#   - inside install/, a file of the transaction (transaction*, undo, staging,
#     the journal's format, the step log, recovery, the template directory)
#     that includes the copy (copy_*, install_job, install_worker): the
#     copy is the transaction's client, never the other way round.
# Prints each offending line and exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

layers=(base lang platform kit install config run ui app)
declare -A rank=([base]=0 [lang]=1 [platform]=2 [kit]=3 [install]=4 [config]=4 [run]=5 [ui]=6 [app]=7)

# Folders that still include POSIX headers while their system calls move down
# to platform/. Temporary: each goes from this list when its last such
# include does, and the list with it.
posix_pending=()
# Forward declarations that still name a higher layer's type, as FILE:TYPE.
# Temporary like the list above.
declaration_pending=()

# Whether a file of layer $1 may use layer $2.
may_use() {
  [ "$1" = "$2" ] || [ "${rank[$2]}" -lt "${rank[$1]}" ]
}

sources() {
  grep -rlE "$1" "${@:2}" --include='*.h' --include='*.cpp' 2>/dev/null || true
}

bad=0

# 1. Includes.
for layer in "${layers[@]}"; do
  while IFS= read -r hit; do
    [ -n "$hit" ] || continue
    # hit: FILE:LINE:#include "target/..."
    target=$(sed -E 's/^[^:]*:[0-9]+:[[:space:]]*#[[:space:]]*include[[:space:]]*"([^/"]*)\/.*/\1/' <<<"$hit")
    if [ -n "${rank[$target]+set}" ]; then
      if ! may_use "$layer" "$target"; then
        echo "layer order: $hit ($layer may not include $target)" >&2
        bad=1
      fi
    elif [ -d "$target" ]; then
      echo "layer order: $hit ($layer may not include $target/, which is above every layer)" >&2
      bad=1
    fi
  done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^/"]+/' "$layer" --include='*.h' --include='*.cpp' || true)
done

# 2. Forward declarations. Where each type is defined: "class X ... {" or
# "struct X ... {" on one line.
declare -A defined_in=()
for layer in "${layers[@]}"; do
  while IFS= read -r name; do
    [ -n "$name" ] || continue
    defined_in[$name]="${defined_in[$name]:-} $layer"
  done < <(grep -rhoE '^[[:space:]]*(struct|class)[[:space:]]+[A-Za-z_][A-Za-z0-9_]*[^;()]*\{' "$layer" \
             --include='*.h' --include='*.cpp' |
           sed -E 's/^[[:space:]]*(struct|class)[[:space:]]+([A-Za-z_][A-Za-z0-9_]*).*/\2/' | sort -u)
done
for layer in "${layers[@]}"; do
  while IFS= read -r hit; do
    [ -n "$hit" ] || continue
    file=${hit%%:*}
    name=$(sed -E 's/^[^:]*:[0-9]+:(struct|class)[[:space:]]+([A-Za-z_][A-Za-z0-9_]*).*/\2/' <<<"$hit")
    owners=${defined_in[$name]:-}
    [ -n "$owners" ] || continue  # a type of no layer (a library's)
    allowed=0
    for owner in $owners; do
      if may_use "$layer" "$owner"; then allowed=1; fi
    done
    [ "$allowed" -eq 0 ] || continue
    pending=0
    for entry in "${declaration_pending[@]}"; do
      [ "$entry" = "$file:$name" ] && pending=1
    done
    [ "$pending" -eq 0 ] || continue
    echo "layer order: $hit (declares $name of$owners, which $layer may not use)" >&2
    bad=1
  done < <(grep -rnE '^(struct|class)[[:space:]]+[A-Za-z_][A-Za-z0-9_]*[[:space:]]*;' "$layer" \
             --include='*.h' --include='*.cpp' || true)
done

# 3. POSIX and Linux headers only under platform/.
# The headers of system calls and of the process's environment; the C
# library's text and locale headers (langinfo.h, strings.h) are base's to use.
posix='(unistd|fcntl|dirent|pwd|grp|signal|pthread|poll|termios|dlfcn|spawn|glob|ftw|libgen|sched|syslog|utime|utmpx|time|aio|mqueue|semaphore|netdb|mntent|shadow|execinfo|malloc|paths|ifaddrs|link|elf)\.h|(sys|linux|asm|arpa|net|netinet|bits)/[^>]*'
for folder in base lang kit install config run ui app tools; do
  pending=0
  for entry in "${posix_pending[@]}"; do
    [ "$entry" = "$folder" ] && pending=1
  done
  [ "$pending" -eq 0 ] || continue
  while IFS= read -r hit; do
    [ -n "$hit" ] || continue
    echo "system boundary: $hit (POSIX and Linux headers belong to platform/)" >&2
    bad=1
  done < <(grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*<($posix)>" "$folder" \
             --include='*.h' --include='*.cpp' --include='*.c' || true)
done

# 4. Inside install/: the transaction below the copy.
transaction_files=(install/transaction*.h install/transaction*.cpp install/undo.* install/staging.*
                   install/journal_format.* install/step_log.* install/recovery.* install/template_directory.*
                   install/destination_directories.h)
while IFS= read -r hit; do
  [ -n "$hit" ] || continue
  echo "layer order: $hit (the transaction may not include the copy that uses it)" >&2
  bad=1
done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"install/(copy_[^"]*|install_job|install_worker)\.h"' \
           "${transaction_files[@]}" /dev/null || true)

if [ "$bad" -ne 0 ]; then
  exit 1
fi
echo "includes follow the layer order: base lang platform kit {install config} run ui app;" \
     "system headers only in platform/ (still pending: ${posix_pending[*]:-none})"
