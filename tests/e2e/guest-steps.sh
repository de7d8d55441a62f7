#!/bin/bash
OUT="$1"; source "$OUT/guest.env"
set -x
cat /proc/asound/seq/clients 2>&1 | head
"$UNIT" "$OUT" 2 &
sleep 1
cat /proc/asound/seq/clients
wait
ls -l $OUT
