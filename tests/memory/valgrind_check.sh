#!/usr/bin/env bash
# Runs a test program under valgrind's memcheck and fails on any memory
# error or leak it finds.  Usage: valgrind_check.sh <program> [arguments]
set -euo pipefail

if [ $# -lt 1 ]; then
    echo "valgrind_check.sh: name the program to check." >&2
    exit 2
fi
if ! command -v valgrind >/dev/null 2>&1; then
    echo "valgrind_check.sh: valgrind is not installed; install the Debian package valgrind (scripts/setup --tests does)." >&2
    exit 1
fi
exec valgrind --error-exitcode=1 --leak-check=full --quiet "$@"
