#!/bin/sh
# uninstall.sh against a DESTDIR staging install of this build, the system's
# tools stood in for: exactly the installed files go, mapping.xml stays, the
# steps and progress are right, failures are loud, a second run is harmless.
# Usage: uninstall-staged.sh <build folder>
set -eu
. "${0%/*}/standins.sh"
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
mkdir -p "$root/usr/bin" "$root/sys/module/nuvexa" "$work/kept"
echo 'not ours' >"$root/usr/bin/other-program"
cp "$root/usr/share/nuvexa/uninstall.sh" "$root/usr/share/nuvexa/install-manifest.txt" "$work/kept/"
touch "$work/dkms-added"

# run NAME STATUS SCRIPT: runs the script, its output in $work/out, and checks
# its exit status and that every PROGRESS line is n/total, n counting up from
# 1 to total.
run() {
    rm -f "$work/calls"
    status=0
    env PATH="$work/tools:$PATH" NUVEXA_UNINSTALL_ROOT="$root" sh "$3" >"$work/out" 2>&1 || status=$?
    check "$1: exit status" "$2" "$status"
    awk -F'[:/]' '/^PROGRESS:/ { n++; if ($2 != n) bad = 1; total = $3 } END { exit bad || n != total || n == 0 }' \
        "$work/out" || check "$1: progress" well-formed "$(grep PROGRESS "$work/out")"
}
has() { grep -q "$2" "$3" || check "$1" "a line $2" "$(cat "$3")"; }

before=$(tree)
run "first run" 0 "$root/usr/share/nuvexa/uninstall.sh"
{ sed 's|^|.|' "$work/kept/install-manifest.txt"; echo ./usr/share/nuvexa; echo ./usr/src/nuvexa-2.0.0b1; } >"$work/ours"
expected=$(printf '%s\n' "$before" | grep -v -x -F -f "$work/ours")
after=$(tree)
check "every installed file gone, nothing else touched" "$expected" "$after"
mapping_kept
has "says mapping.xml is kept" "Kept each user's button mappings" "$work/out"
calls "system steps" uninstall

run "second run" 0 "$work/kept/uninstall.sh"
check "second run removes nothing more" "$after" "$(tree)"

STANDIN_FAIL=systemctl run "a failing step fails the run" 1 "$work/kept/uninstall.sh"
has "failure said" '^FAILED: could not disable nuvexa-agent.service' "$work/out"
has "the steps after a failure still run" '^udevadm control' "$work/calls"

# Manifest lines that lead out of the installation: through a folder that is
# now a symbolic link, and through "..", to an empty folder named nuvexa.
mkdir -p "$work/elsewhere" "$root/home/alice/nuvexa"
echo 'not ours' >"$work/elsewhere/uninstall.sh"
ln -s "$work/elsewhere" "$root/usr/share/nuvexa"
printf '%s\n' /usr/share/nuvexa/uninstall.sh /usr/../home/alice/nuvexa/x >"$work/kept/install-manifest.txt"
run "a path out of the installation fails the run" 1 "$work/kept/uninstall.sh"
[ -f "$work/elsewhere/uninstall.sh" ] || check "no file removed through a folder's symbolic link" yes no
[ -d "$root/home/alice/nuvexa" ] || check "no folder removed through .." yes no
rm "$root/usr/share/nuvexa"

# An installation from the package goes through dpkg; when dpkg fails, the
# package's files stay for it.
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
installed=$(tree)
STANDIN_PACKAGE=nuvexa-device-controller STANDIN_FAIL=dpkg \
    run "a failed package removal fails the run" 1 "$root/usr/share/nuvexa/uninstall.sh"
has "package removed through dpkg" '^dpkg --purge nuvexa-device-controller$' "$work/calls"
check "a failed package removal leaves its files to dpkg" "$installed" "$(tree)"
echo "uninstall.sh against a staged installation: all checks passed"
