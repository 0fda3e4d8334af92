#!/bin/sh
# Removes the Nuvexa Device Controller from this computer: exactly the files
# its installation put here, as listed in the install manifest beside this
# script, after disabling and stopping the agent's user service and taking
# the kernel filter out of DKMS and out of the running kernel; then udev
# reloads its rules. An installation made from the Debian package is removed
# through dpkg. Each user's "mapping.xml" is user data and stays.
#
# Run as root by nuvexa-uninstaller (pkexec /bin/sh <this script>), or by
# hand. It writes one line per step, and "PROGRESS:done/total" after each
# step, to its standard output. A step that fails says so and the script
# carries on with the rest; it then exits with status 1.
#
# NUVEXA_UNINSTALL_ROOT names the root the manifest's paths (and
# /sys/module) are under, a DESTDIR staging install; empty for the running
# system. The system's tools (systemctl, dkms, udevadm, ...) are those on
# PATH either way.

# The window reading the output may be closed while a removal is half done:
# writes then fail instead of ending the script.
trap '' PIPE
export LC_ALL=C

here=$(cd "$(dirname "$0")" && pwd)
manifest="$here/install-manifest.txt"
root=${NUVEXA_UNINSTALL_ROOT:-}
failed=0
done_steps=0

say() { printf '%s\n' "$*"; }
fail() { say "FAILED: $*"; failed=1; }
have() { command -v "$1" >/dev/null 2>&1; }
progress() { done_steps=$((done_steps + 1)); say "PROGRESS:$done_steps/$total"; }

# A manifest line is taken only when it is an absolute path without "." or
# ".." parts: nothing outside what was installed is ever removed.
safe_path() {
    case "$1" in
        /*) ;;
        *) return 1 ;;
    esac
    case "$1/" in
        */../* | */./* | *//*) return 1 ;;
    esac
    return 0
}

# The folder of a manifest path under the root, every symbolic link in it
# resolved; nothing (and a failure) when the folder is gone.
real_folder() { (cd -P "$root${1%/*}/" 2>/dev/null && pwd -P); }
root_real=$(cd -P "$root/" && pwd -P)
[ "$root_real" != / ] || root_real=

if [ -f "$manifest" ]; then
    files=$(grep -v '^[[:space:]]*$' "$manifest")
else
    files=
fi
count=$(printf '%s\n' "$files" | grep -c .)
# Seven fixed steps, and one per installed file.
total=$((count + 7))

# Without the list nothing can be removed safely: the other steps still run.
if [ -z "$files" ]; then
    fail "no install manifest at $manifest: no files are removed"
fi

# The agent's unit, the kernel filter's DKMS name and version, and the
# Debian package, as this installation has them.
units=$(printf '%s\n' "$files" | sed -n 's|^.*/systemd/user/\([^/]*\.service\)$|\1|p')
dkms_tree=$(printf '%s\n' "$files" | sed -n 's|^/usr/src/\([^/]*-[^/]*\)/dkms\.conf$|\1|p' | head -n 1)
module=${dkms_tree%%-*}
module_version=${dkms_tree#*-}
package=
left_to_dpkg=
if have dpkg-query; then
    package=$(dpkg-query -S "${manifest#"$root"}" 2>/dev/null | sed -n 's|^\([^:]*\): .*$|\1|p' | head -n 1)
fi

say "Disabling the agent's user service for every user"
for unit in $units; do
    if ! have systemctl; then
        say "No systemctl: nothing to disable"
    elif ! systemctl --global disable "$unit" 2>&1; then
        fail "could not disable $unit"
    fi
done
progress

say "Stopping the agent for the users logged in"
if have loginctl && have systemctl; then
    for user in $(loginctl list-users --no-legend 2>/dev/null | awk '{ print $2 }'); do
        for unit in $units; do
            # A user whose manager does not answer has no agent to stop.
            systemctl --user --machine="$user@" stop "$unit" >/dev/null 2>&1 || true
        done
    done
fi
progress

say "Unloading the kernel filter"
if [ -n "$module" ] && [ -d "$root/sys/module/$module" ]; then
    if ! modprobe -r "$module" 2>&1; then
        fail "could not unload the kernel module $module"
    fi
fi
progress

say "Removing the kernel filter from DKMS"
if [ -n "$module" ] && have dkms; then
    if [ -n "$(dkms status -m "$module" -v "$module_version" 2>/dev/null)" ]; then
        if ! dkms remove "$module/$module_version" --all 2>&1; then
            fail "could not remove $module/$module_version from DKMS"
        fi
    fi
fi
progress

say "Removing the Debian package"
if [ -n "$package" ]; then
    if ! dpkg --purge "$package" 2>&1; then
        fail "could not remove the package $package"
        # Its files are dpkg's: removed by hand, they would leave dpkg
        # holding the package as installed with its files gone.
        say "The package's files stay for: dpkg --purge $package"
        left_to_dpkg=1
    fi
else
    say "Not installed as a Debian package"
fi
progress

folders=
printf '%s\n' "$files" | {
    while IFS= read -r file; do
        [ -n "$file" ] || continue
        if [ -n "$left_to_dpkg" ]; then
            :
        elif ! safe_path "$file"; then
            fail "not removing $file: not a plain absolute path"
        elif ! folder=$(real_folder "$file"); then
            : # Its folder is gone, and the file with it.
        elif [ "${folder%/}" != "$root_real${file%/*}" ]; then
            # A folder that is now a symbolic link would lead the removal
            # to files the installation never put there.
            fail "not removing $file: its folder is reached through a symbolic link"
        else
            if [ -e "$root$file" ] || [ -L "$root$file" ]; then
                if [ -d "$root$file" ] && [ ! -L "$root$file" ]; then
                    fail "not removing $file: a folder"
                elif rm -f "$root$file"; then
                    say "Removed $file"
                else
                    fail "could not remove $file"
                fi
            fi
            folders="$folders
${file%/*}"
        fi
        progress
    done
    # Folders that held our files go too, once empty; nothing above them.
    printf '%s\n' "$folders" | sort -u -r | while IFS= read -r folder; do
        case "$folder" in
            */nuvexa | /usr/src/*-*) rmdir "$root$folder" 2>/dev/null && say "Removed the folder $folder" ;;
        esac
    done
    exit "$failed"
} || failed=1
done_steps=$((done_steps + count))

say "Reloading the udev rules"
if have udevadm; then
    if udevadm control --reload 2>&1; then
        udevadm trigger --subsystem-match=hidraw --subsystem-match=misc >/dev/null 2>&1 || true
    else
        fail "could not reload the udev rules; they are gone from the next boot"
    fi
fi
progress

say "Kept each user's button mappings (~/.config/Nuvexa/mapping.xml)"
progress

if [ "$failed" -eq 0 ]; then
    say "The Nuvexa Device Controller has been removed"
else
    say "Some steps failed (see above); the rest has been removed"
fi
exit "$failed"
