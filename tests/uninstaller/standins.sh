# Sourced by the uninstaller's shell tests, the build folder in $1: a
# throwaway $work holding $root, where user "alice" has a mapping.xml, and
# stand-ins for the system's tools in $work/tools, each recording "tool
# arguments" in $work/calls: alice is logged in, DKMS holds the module while
# $work/dkms-added exists, dpkg-query owns the asked path for
# $STANDIN_PACKAGE, and the tool named in $STANDIN_FAIL fails. Also check
# (name expected got), calls (NAME, compared with the fixture
# NAME-calls.expected), mapping_kept and tree (of $root).
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
mkdir -p "$work/tools" "$root/home/alice/.config/Nuvexa"
echo '<devices/>' >"$root/home/alice/.config/Nuvexa/mapping.xml"
for tool in systemctl loginctl modprobe dkms dpkg-query dpkg udevadm; do
    cat >"$work/tools/$tool" <<STANDIN
#!/bin/sh
echo "$tool \$*" >>"$work/calls"
[ "\${STANDIN_FAIL:-}" = "$tool" ] && exit 1
case "$tool \$1" in
    "loginctl list-users") echo "1000 alice" ;;
    "dkms status") [ ! -e "$work/dkms-added" ] || echo "nuvexa/2.0.0b1: added" ;;
    "dkms add") touch "$work/dkms-added" ;;
    "dkms remove") rm -f "$work/dkms-added" ;;
    "dpkg-query -S") [ -n "\${STANDIN_PACKAGE:-}" ] && echo "\$STANDIN_PACKAGE: \$2" || exit 1 ;;
esac
exit 0
STANDIN
    chmod +x "$work/tools/$tool"
done
check() { [ "$2" = "$3" ] || { printf 'FAIL %s\n--- expected\n%s\n--- got\n%s\n' "$1" "$2" "$3"; exit 1; }; }
calls() { check "$1" "$(cat "${0%/*}/../fixtures/uninstaller/$2-calls.expected")" "$(cat "$work/calls")"; }
mapping_kept() { check "mapping.xml kept" '<devices/>' "$(cat "$root/home/alice/.config/Nuvexa/mapping.xml")"; }
tree() { (cd "$root" && find . -mindepth 1 -not -path './var/lib/dpkg*' | sort); }
