#!/bin/sh
# Usage: exports.sh NM LIBRARY...
# Fails when a host library exports anything but the C names of the host's API (mx..., mex...):
# the call's record and the array layout must not cross a binary boundary as C++ symbols.
nm=$1
shift
status=0
for library in "$@"; do
    others=$("$nm" -D --defined-only "$library" | awk '{ print $NF }' | grep -v -E '^me?x[A-Z]')
    if [ -n "$others" ]; then
        echo "$library exports more than the host's C API:"
        echo "$others" | sed 's/^/  /'
        status=1
    fi
done
exit $status
