#!/bin/sh
# uninstall.sh against a DESTDIR staging install of this build, the system's
# tools stood in for: exactly the installed files go, mapping.xml stays, the
# steps and progress are right, failures are loud, a second run is harmless.
# Usage: uninstall-staged.sh <build folder>
set -eu
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
mkdir -p "$root/home/alice/.config/Nuvexa" "$root/usr/bin" "$root/sys/module/nuvexa" "$work/kept"
echo '<devices/>' >"$root/home/alice/.config/Nuvexa/mapping.xml"
echo 'not ours' >"$root/usr/bin/other-program"
cp "$root/usr/share/nuvexa/uninstall.sh" "$root/usr/share/nuvexa/install-manifest.txt" "$work/kept/"

. "${0%/*}/standins.sh"
touch "$work/dkms-added"

# Runs the script; its status, then its output, in $work/out.
run() {
    rm -f "$work/calls"
    status=0
    env PATH="$work/tools:$PATH" NUVEXA_UNINSTALL_ROOT="$root" "$@" >"$work/out" 2>&1 || status=$?
}
progress_well_formed() {  # every PROGRESS line is n/total, n counting up from 1 to total
    awk -F'[:/]' '/^PROGRESS:/ { n++; if ($2 != n) bad = 1; total = $3 }
                  END { if (bad || n != total || n == 0) exit 1 }' "$work/out"
}

before=$(tree)
run sh "$root/usr/share/nuvexa/uninstall.sh"
check "first run succeeds" 0 "$status"
{ sed 's|^|.|' "$work/kept/install-manifest.txt"; echo ./usr/share/nuvexa; echo ./usr/src/nuvexa-2.0.0b1; } >"$work/ours"
expected=$(printf '%s\n' "$before" | grep -v -x -F -f "$work/ours")
after=$(tree)
check "every installed file gone, nothing else touched" "$expected" "$after"
check "mapping.xml kept" '<devices/>' "$(cat "$root/home/alice/.config/Nuvexa/mapping.xml")"
grep -q "Kept each user's button mappings" "$work/out" || check "says mapping.xml is kept" yes no
progress_well_formed || check "progress lines well-formed" yes "$(grep PROGRESS "$work/out")"
calls "system steps" uninstall

run sh "$work/kept/uninstall.sh"
check "second run succeeds" 0 "$status"
check "second run removes nothing more" "$after" "$(tree)"
progress_well_formed || check "second run's progress" yes no

STANDIN_FAIL=systemctl run sh "$work/kept/uninstall.sh"
check "a failing step fails the run" 1 "$status"
grep -q '^FAILED: could not disable nuvexa-agent.service' "$work/out" || check "failure said" yes "$(cat "$work/out")"
grep -q '^udevadm control' "$work/calls" || check "the steps after a failure still run" yes no
progress_well_formed || check "progress after a failure" yes no

# Manifest lines that lead out of the installation: through a folder that is
# now a symbolic link, and through "..", to an empty folder named nuvexa.
mkdir -p "$work/elsewhere" "$root/home/alice/nuvexa"
echo 'not ours' >"$work/elsewhere/uninstall.sh"
ln -s "$work/elsewhere" "$root/usr/share/nuvexa"
printf '%s\n' /usr/share/nuvexa/uninstall.sh /usr/../home/alice/nuvexa/x >"$work/kept/install-manifest.txt"
run sh "$work/kept/uninstall.sh"
check "a path out of the installation fails the run" 1 "$status"
[ -f "$work/elsewhere/uninstall.sh" ] || check "no file removed through a folder's symbolic link" yes no
[ -d "$root/home/alice/nuvexa" ] || check "no folder removed through .." yes no
rm "$root/usr/share/nuvexa"

# An installation from the package goes through dpkg; when dpkg fails, the
# package's files stay for it.
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
installed=$(tree)
STANDIN_PACKAGE=nuvexa-device-controller STANDIN_FAIL=dpkg run sh "$root/usr/share/nuvexa/uninstall.sh"
grep -q '^dpkg --purge nuvexa-device-controller$' "$work/calls" || check "package removed through dpkg" yes no
check "a failed package removal fails the run" 1 "$status"
check "a failed package removal leaves its files to dpkg" "$installed" "$(tree)"
progress_well_formed || check "progress after a failed package removal" yes no
echo "uninstall.sh against a staged installation: all checks passed"
