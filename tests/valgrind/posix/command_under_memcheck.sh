#!/bin/sh
# Runs the command under valgrind's memcheck in a fresh directory: no memory error and no leak,
# and the file and the line are what they should be.
set -eu
binary=$1
golden=$2
directory=$(mktemp -d)
trap 'rm -rf "$directory"' EXIT
cd "$directory"
valgrind -q --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect \
  "$binary" > out.txt
cmp "$golden" clean.pdf
[ "$(cat out.txt)" = "Successfully created clean.pdf" ]
