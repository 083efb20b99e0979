#!/usr/bin/env bash
# Fails when one of the given programs links a Qt library.
set -u
status=0
for f in "$@"; do
  if [ ! -x "$f" ]; then echo "missing program: $f"; status=1; continue; fi
  qt=$(ldd "$f" | grep -i 'libQt' || true)
  if [ -n "$qt" ]; then echo "$f links Qt:"; echo "$qt"; status=1; fi
  if readelf -d "$f" | grep -q 'NEEDED.*Qt'; then echo "$f needs a Qt library"; status=1; fi
done
[ $status -eq 0 ] && echo "no Qt-free program links Qt ($# checked)"
exit $status
