#!/bin/bash
# Installs the build into a temporary DESTDIR and checks the tree: every
# deliverable where it belongs, units that systemd accepts, and every
# installed binary finding all its libraries.
# Usage: check_install.sh BUILD_DIR
set -u
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
failed=0
problem() { echo "FAIL: $*"; failed=1; }

DESTDIR=$root cmake --install "$build" >/dev/null || problem "cmake --install"
DESTDIR=$root cmake --install "$build" --component testworld >/dev/null || problem "cmake --install --component testworld"
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
tree=$root$prefix

for f in bin/ferryd bin/ferryd-bridge bin/ferryd-bridge-user bin/novumaudioservice bin/ferry \
    lib64/libnovumaudioservice.so.0 lib64/novumaudioservice/halcyon.so \
    lib64/nemo-transferengine/plugins/sharing/libnovumshareplugin.so \
    share/translations/ferryd_eng_en.qm \
    lib/systemd/system/ferryd.service lib/systemd/system/rididirevov.service \
    lib/systemd/user/ferryd-bridge.service lib/systemd/user/ferryd-bridge-user.service \
    lib/systemd/user/novumaudioservice.service \
    share/dbus-1/system-services/com.kestrel.ferryd.service share/dbus-1/system.d/com.kestrel.ferryd.conf \
    libexec/ferry/ferry-runtime-sim; do
    [ -e "$tree/$f" ] || problem "not installed: $prefix/$f"
done
for d in share/kestrel-settings/entries share/ferryd/partnerspace; do
    [ -d "$tree/$d" ] || problem "directory not installed: $prefix/$d"
done
# The test world's runtime is not part of an ordinary install.
plain=$(mktemp -d)
DESTDIR=$plain cmake --install "$build" >/dev/null
[ -e "$plain$prefix/lib/systemd/system/rididirevov.service" ] && problem "rididirevov.service installed without the testworld component"
rm -rf "$plain"

# Hiding /tmp, /home or /dev would hide callers' files and the binder devices.
for key in PrivateTmp ProtectHome PrivateDevices; do
    grep -q "^$key=" "$tree/lib/systemd/system/ferryd.service" && problem "ferryd.service sets $key"
done

# Every ELF file installed finds its libraries (lib64 is not on the
# loader's path: the run paths must do it).
while IFS= read -r -d '' f; do
    [ "$(head -c 4 "$f" | od -An -c | tr -d ' ')" = '177ELF' ] || continue
    missing=$(ldd "$f" 2>&1 | grep "not found")
    [ -n "$missing" ] && problem "${f#$root}: $missing"
done < <(find "$tree" -type f -print0)

# systemd's own check of the units. It runs against this machine's
# systemd, so the programs are looked up in the installed tree.
if command -v systemd-analyze >/dev/null; then
    mkdir -p "$root/check/system" "$root/check/user" "$root/xdg-runtime" && chmod 700 "$root/xdg-runtime"
    for kind in system user; do
        for unit in "$tree/lib/systemd/$kind"/*.service; do
            sed "s|=$prefix/|=$tree/|g" "$unit" >"$root/check/$kind/${unit##*/}"
        done
    done
    # Parse errors only warn: any line about the unit counts.
    for unit in "$root"/check/system/*.service; do
        out=$(systemd-analyze verify --man=no "$unit" 2>&1)
        if [ $? != 0 ] || grep -q "${unit##*/}" <<<"$out"; then problem "systemd-analyze verify ${unit##*/}: $out"; fi
    done
    for unit in "$root"/check/user/*.service; do
        out=$(XDG_RUNTIME_DIR=$root/xdg-runtime systemd-analyze --user verify --man=no "$unit" 2>&1)
        if [ $? != 0 ] || grep -q "${unit##*/}" <<<"$out"; then problem "systemd-analyze --user verify ${unit##*/}: $out"; fi
    done
fi

[ $failed = 0 ] && echo "install tree: ok ($tree)"
exit $failed
