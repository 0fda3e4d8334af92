#!/bin/sh
# This build's Debian package (CPack) installed and purged by dpkg in a
# throwaway root, its maintainer scripts run without chroot against stand-ins
# for the system's tools: exactly the package's files come and go, the
# scripts make the right calls, mapping.xml stays.
# Usage: package-install-remove.sh <build folder>
set -eu
# dpkg installs files owned by root only as root.
[ "$(id -u)" = 0 ] || { echo "skipped: needs root"; exit 77; }
. "${0%/*}/standins.sh"
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null 2>&1)
deb=$(ls "$work"/package/*.deb)
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
# dpkg_in_root NAME CALLS ARGUMENTS: runs dpkg, its maintainer scripts making the calls of CALLS-calls.expected.
dpkg_in_root() {
    name=$1 expected=$2
    shift 2
    rm -f "$work/calls"
    env PATH="$work/tools:$PATH" /usr/bin/dpkg --root="$root" --force-script-chrootless --force-depends \
        --log=/dev/null "$@" >"$work/dpkg.out" 2>&1 || { cat "$work/dpkg.out"; exit 1; }
    calls "$name" "$expected"
}

before=$(tree)
dpkg_in_root "postinst: udev, DKMS, module, user service" postinst -i "$deb"
contents=$(dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|/$||' | grep -v -x '\.')
check "the install adds exactly the package's files" "$(printf '%s\n%s\n' "$before" "$contents" | sort -u)" "$(tree)"

# An upgrade rebuilds the module from the new sources but leaves the users'
# agents enabled and running.
dpkg_in_root "an upgrade: the module anew, the agents untouched" upgrade -i "$deb"

dpkg_in_root "prerm and postrm undo it" prerm-postrm --purge nuvexa-device-controller
check "the removal leaves the root as it was" "$before" "$(tree)"
mapping_kept
echo "the package installs and removes cleanly"
