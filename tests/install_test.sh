#!/usr/bin/env bash
# The scripts' install step as a fresh machine meets it, in seconds and without installing
# anything: stand-ins for dpkg-query, apt-get, sudo and id come first on PATH. Nothing is
# installed until the stand-in apt-get "installs" it; every call is recorded with the user it
# ran as and the DEBIAN_FRONTEND it saw. Each real script runs with ODOMEI_INSTALL_ONLY=1, as root
# and as a user who goes through sudo (whose stand-in clears the environment, as sudo does).
# Then SQLite's source list, made from the machine's own apt sources.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
bin=$tmp/bin
mkdir -p "$bin"
passed=0
failed=0
fail() {
    echo "FAIL: $*"
    failed=$((failed + 1))
}

# The machine: $tmp/installed lists what is installed, $tmp/calls what was run.
cat >"$bin/dpkg-query" <<EOF
#!/bin/bash
# -W -f='\${Package} \${Status}\n' PACKAGE...: the installed ones, as dpkg says them.
found=1
for p in "\$@"; do
    case \$p in
        -*) ;;
        *) if grep -qx -- "\$p" "$tmp/installed"; then echo "\$p install ok installed"; found=0
           else echo "dpkg-query: no packages found matching \$p" >&2; fi ;;
    esac
done
exit \$found
EOF
cat >"$bin/apt-get" <<EOF
#!/bin/bash
echo "apt-get uid=\$(id -u) frontend=\${DEBIAN_FRONTEND:-unset} \$*" >>"$tmp/calls"
# A user may not touch the machine's own lists and packages, but may keep lists of their own
# (as SQLite's source fetch does).
if [ "\$(id -u)" -ne 0 ] && [[ " \$* " != *" -o Dir::State::Lists="* ]]; then
    echo "E: Could not open lock file /var/lib/dpkg/lock-frontend - open (13: Permission denied)" >&2
    exit 100
fi
case " \$* " in
    *" install "*) for p in "\$@"; do case \$p in -*|install) ;; *) echo "\$p" >>"$tmp/installed" ;; esac; done ;;
    *" source "*) echo "E: Unable to find a source package for sqlite3" >&2; exit 100 ;;
    *" update "*) for o in "\$@"; do
                      case \$o in Dir::Etc::Source*=*) cat "\${o#*=}" "\${o#*=}"/* >>"$tmp/sources" 2>/dev/null || true ;; esac
                  done ;;
esac
EOF
# sudo: SUDO_STATUS=1 stands for a user sudo refuses. Options are taken, VAR=value words set the
# command's environment, everything else of the caller's environment is dropped but PATH.
cat >"$bin/sudo" <<EOF
#!/bin/bash
echo "sudo \$*" >>"$tmp/calls"
[ "\${SUDO_STATUS:-0}" -eq 0 ] || { echo "Sorry, user \$(id -un) may not run sudo." >&2; exit 1; }
vars=()
while [ \$# -gt 0 ]; do
    case \$1 in
        -l) exit 0 ;;
        -*) shift ;;
        *=*) vars+=("\$1"); shift ;;
        *) break ;;
    esac
done
exec env -i PATH="\$PATH" TEST_UID=0 "\${vars[@]}" "\$@"
EOF
cat >"$bin/id" <<'EOF'
#!/bin/bash
# TEST_UID stands for the user; the rest is the real id's.
if [ -n "${TEST_UID:-}" ]; then
    case $1 in -u) echo "$TEST_UID"; exit 0 ;; -un) [ "$TEST_UID" -eq 0 ] && echo root || echo driver; exit 0 ;; esac
fi
exec /usr/bin/id "$@"
EOF
chmod +x "$bin"/*

# run NAME UID [ARGS...]: runs scripts/NAME's install step on the machine as it stands; its
# output is in $tmp/out, its status in $status.
run() {
    local name=$1 uid=$2
    shift 2
    : >"$tmp/calls"
    status=0
    PATH="$bin:$PATH" TEST_UID=$uid ODOMEI_INSTALL_ONLY=1 DEBIAN_FRONTEND='' \
        "$top/scripts/$name" "$@" >"$tmp/out" 2>&1 </dev/null || status=$?
    if grep -q 'command not found' "$tmp/out"; then
        fail "$name as uid $uid: $(grep 'command not found' "$tmp/out" | head -n 1)"
    fi
}

# check NAME UID PACKAGE...: a fresh machine, one update and one install as root, without
# questions, and the install asks for at least these packages.
check() {
    local name=$1 uid=$2 failed_before=$failed p
    shift 2
    : >"$tmp/installed"
    # sqlite-amalgamation.sh takes the folder as its own; the others stop before they read it.
    run "$name" "$uid" "$tmp/sqlite"
    [ "$status" -eq 0 ] || { fail "$name as uid $uid: exit status $status"; sed 's/^/    /' "$tmp/out"; }
    local updates installs
    updates=$(grep -c '^apt-get .* update' "$tmp/calls" || true)
    installs=$(grep '^apt-get .* install ' "$tmp/calls" || true)
    [ "$updates" -eq 1 ] || fail "$name as uid $uid: $updates apt-get updates, not one"
    [ "$(grep -c . <<<"$installs")" -eq 1 ] || fail "$name as uid $uid: not one apt-get install"
    if grep '^apt-get' "$tmp/calls" | grep -qv '^apt-get uid=0 frontend=noninteractive '; then
        fail "$name as uid $uid: apt-get ran without root or with questions:"
        grep '^apt-get' "$tmp/calls" | sed 's/^/    /'
    fi
    if [ "$uid" -ne 0 ] && ! grep -q '^sudo .*apt-get install' "$tmp/calls"; then
        fail "$name as uid $uid: the install did not go through sudo"
    fi
    for p in "$@"; do
        [[ " $installs " == *" $p "* ]] || fail "$name as uid $uid: $p is not installed"
    done
    [ "$failed" -ne "$failed_before" ] || passed=$((passed + 1))
}

# What each script needs at the least: the thing it could not run without.
for uid in 0 1000; do
    check setup.sh $uid cmake ninja-build g++ qt6-base-dev libgtest-dev libsqlite3-dev
    check run.sh $uid cmake qt6-base-dev fonts-ipafont-gothic
    check fuzz.sh $uid cmake ninja-build clang libclang-rt-14-dev
    check sqlite-amalgamation.sh $uid tcl make gcc xz-utils patch
    check windows.sh $uid g++-mingw-w64-x86-64 wine wine64 nsis xvfb xdotool imagemagick locales tcl
    check test.sh $uid qt6-base-dev clang g++-mingw-w64-x86-64 wine tcl shellcheck xvfb openbox
done

# After the test command's own install step, none of the steps it runs installs anything more,
# so a run updates apt's lists once. (The machine is the one test.sh as root left.)
check test.sh 0
for name in setup.sh run.sh fuzz.sh sqlite-amalgamation.sh windows.sh; do
    run "$name" 1000 "$tmp/sqlite"
    if [ "$status" -ne 0 ] || [ -s "$tmp/calls" ]; then
        fail "$name after test.sh's install step: status $status, calls: $(tr '\n' ';' <"$tmp/calls")"
    else
        passed=$((passed + 1))
    fi
done

# A user sudo refuses: told what to do, nothing run.
: >"$tmp/installed"
SUDO_STATUS=1 run windows.sh 1000
if [ "$status" -eq 0 ] || grep -q '^apt-get' "$tmp/calls" ||
    ! grep -q 'needs root' "$tmp/out" || ! grep -q "apt-get install .*wine64" "$tmp/out"; then
    fail "a user sudo refuses: status $status, said: $(cat "$tmp/out")"
else
    passed=$((passed + 1))
fi

# SQLite's sources come from the machine's own: a private mirror stays the mirror, deb entries of
# both formats become deb-src, other entries and other types are dropped. The stand-in apt-config
# points at a made-up /etc/apt.
etc=$tmp/etc-apt
mkdir -p "$etc/sources.list.d"
printf '%s\n' "# the machine's mirror" "deb http://mirror.example.lan/debian bookworm main contrib" \
    "deb-src http://mirror.example.lan/debian bookworm main" \
    "  deb [signed-by=/usr/share/keyrings/k.gpg] http://mirror.example.lan/security bookworm-security main" \
    >"$etc/sources.list"
printf 'deb http://proxy.example.lan:3142/extra bookworm main' >"$etc/sources.list.d/extra.list"
cat >"$etc/sources.list.d/debian.sources" <<'EOF'
Types: deb
URIs: http://mirror.example.lan/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

types: deb-src
URIs: http://only-sources.example.lan/debian
Suites: bookworm
Components: main

Types: deb deb-src
URIs: http://mirror.example.lan/debian-security
Suites: bookworm-security
Components: main
EOF
printf 'Types: deb\nURIs: http://ignored.example.lan\n' >"$etc/sources.list.d/old.sources.disabled"
cat >"$bin/apt-config" <<EOF
#!/bin/sh
echo "sourcelist='$etc/sources.list'"
echo "sourceparts='$etc/sources.list.d/'"
EOF
chmod +x "$bin/apt-config"
for p in tcl make gcc xz-utils patch; do echo "$p"; done >"$tmp/installed"

# sqlite_sources WHAT EXPECTED: the script on the made-up machine hands apt EXPECTED as its
# sources (then meets no source package), or with EXPECTED empty refuses before calling apt.
sqlite_sources() {
    local what=$1 expected=$2
    : >"$tmp/sources"
    : >"$tmp/calls"
    rm -rf "$tmp/sqlite"
    status=0
    PATH="$bin:$PATH" ODOMEI_INSTALL_ONLY='' "$top/scripts/sqlite-amalgamation.sh" "$tmp/sqlite" \
        >"$tmp/out" 2>&1 || status=$?
    if [ "$(cat "$tmp/sources")" != "$expected" ]; then
        fail "SQLite's sources from $what: expected"
        printf '%s\n' "$expected" | sed 's/^/    /'
        echo "  got"
        sed 's/^/    /' "$tmp/sources"
    elif [ -n "$expected" ] && { [ "$status" -eq 0 ] || ! grep -q 'Unable to find a source package' "$tmp/out"; }; then
        fail "SQLite's source package missing ($what): status $status, said: $(cat "$tmp/out")"
    elif [ -z "$expected" ] && { [ "$status" -eq 0 ] || [ -s "$tmp/calls" ] || ! grep -q 'no Debian package sources' "$tmp/out"; }; then
        fail "SQLite's sources from $what: status $status, calls $(cat "$tmp/calls"), said: $(cat "$tmp/out")"
    else
        passed=$((passed + 1))
    fi
}

sqlite_sources "both formats" "deb-src http://mirror.example.lan/debian bookworm main contrib
deb-src [signed-by=/usr/share/keyrings/k.gpg] http://mirror.example.lan/security bookworm-security main
deb-src http://proxy.example.lan:3142/extra bookworm main
Types: deb-src
URIs: http://mirror.example.lan/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://mirror.example.lan/debian-security
Suites: bookworm-security
Components: main"

# As debootstrap leaves it: one line, no line end, nothing in sources.list.d.
rm -f "$etc"/sources.list.d/*
printf 'deb http://mirror.example.lan/debian bookworm main' >"$etc/sources.list"
sqlite_sources "a bare sources.list" "deb-src http://mirror.example.lan/debian bookworm main"

printf '%s\n' "deb-src http://mirror.example.lan/debian bookworm main" >"$etc/sources.list"
sqlite_sources "no deb entry" ""

echo "install: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
