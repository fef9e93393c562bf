#!/usr/bin/env bash
# Checks scripts/setup as a user who is not root meets it: with everything
# installed it succeeds and asks for nothing; with a package missing and
# no way to become root, it names the package and the command that
# installs it, and fails.  Run as root, it runs setup as the user nobody.
# A wrapped dpkg-query leaves one package out of its answer and fails, as
# it does for a package it does not know; a sudo that always
# refuses stands in for a user without sudo rights.
#   setup_check.sh SOURCE_DIR
source "$(dirname "$0")/common.sh"

work="$(mktemp -d "${TMPDIR:-/tmp}/velmor-setup.XXXXXX")"
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"

as_user() {
    if [ "$(id -u)" -eq 0 ]; then
        runuser -u nobody -- env PATH="$PATH" "$@"
    else
        "$@"
    fi
}

for option in "" --tests; do
    as_user "$src/scripts/setup" ${option:+"$option"} </dev/null >"$work/out" 2>&1 ||
        fail "scripts/setup $option failed with everything installed: $(cat "$work/out")"
    [ ! -s "$work/out" ] || fail "scripts/setup $option said, with everything installed: $(cat "$work/out")"
done

mkdir "$work/bin"
cat >"$work/bin/dpkg-query" <<'EOF'
#!/bin/sh
/usr/bin/dpkg-query "$@" | grep -v '^xdotool:'
exit 1
EOF
printf '#!/bin/sh\nexit 1\n' >"$work/bin/sudo"
chmod 755 "$work/bin" "$work/bin/dpkg-query" "$work/bin/sudo"
status=0
PATH="$work/bin:$PATH" as_user "$src/scripts/setup" </dev/null >"$work/out" 2>&1 || status=$?
[ $status -ne 0 ] || fail "scripts/setup succeeded with xdotool missing: $(cat "$work/out")"
said="$(cat "$work/out")"
[ "$said" = "scripts/setup: missing packages xdotool, which only root can install; as root, run: apt-get install xdotool" ] ||
    fail "scripts/setup said, with xdotool missing: $said"
echo "scripts/setup asks for nothing when all is there, and names the missing package and its command."
