#!/bin/sh
# Builds the demo kit from templates/ with the kit tool.
# Usage: make-kit.sh KIT_TOOL OUTPUT   (e.g. make-kit.sh build/vxk5-kit build/vxk5.efd)
set -eu
if [ "$#" -ne 2 ]; then
    echo "usage: $0 KIT_TOOL OUTPUT" >&2
    exit 2
fi
here=$(CDPATH= cd -- "$(dirname -- "$0")" && pwd)
exec "$1" create "$here/templates" -o "$2" \
    --lang en --product "Office Desktop Templates 2.3" --vendor "Example Office IT" \
    --description README.en.txt \
    --lang de --product "Büro-Desktopvorlagen 2.3" --vendor "Example Office IT" \
    --description README.de.txt
