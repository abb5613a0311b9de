#!/bin/sh
# The read benchmark's lazy mode as compare.sh --read runs a project binary (BINARY --read FILE):
# the write benchmark's --read FILE --lazy, each object loaded once and dropped. The binary is
# $VANTRIL_WRITE_BENCH, by default build/bench/bench/vantril_write_bench under the current folder.
exec "${VANTRIL_WRITE_BENCH:-build/bench/bench/vantril_write_bench}" "$@" --lazy
