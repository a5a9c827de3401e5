#!/usr/bin/env bash
# The guest test: boots a small Linux guest under qemu (plain emulation, no KVM) and runs the real, unmodified
# command-line program (real hidapi backend) against the virtual encoder through the kernel's uhid, hid-generic
# and hidraw. Usage: scripts/guest-test.sh [BUILD_DIR] (default build, which must hold a plain build).
#
# Exit status: 0 every case passed, 1 a case failed, 77 the guest cannot run here (the reason is printed).
# The kernel comes from the package linux-image-amd64 depends on, fetched with apt-get download and unpacked,
# never installed; what the guest needs of it is kept in ${XDG_CACHE_HOME:-~/.cache}/quillanterbrooke-guest.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
cache=${XDG_CACHE_HOME:-$HOME/.cache}/quillanterbrooke-guest
boot_limit=${GUEST_TIME_LIMIT:-480}  # seconds for the whole guest run
modules=(hid hid-generic uhid)       # in this order: nothing loads hid-generic without udev
cases=(write read list keys restore unplug twowriters permission bench shutdown plugs workshop)

skip() {
    echo "guest: SKIPPED: $*"
    exit 77
}

programs=("$build/cli/quillanterbrooke-cli" "$build/simulator/quillanterbrooke-virtual-device"
    "$build/bench/qb_device_bench" "$build/tools/qb_plug_watch")
for program in "${programs[@]}"; do
    [ -x "$program" ] || skip "$program is not built"
done
command -v qemu-system-x86_64 >/dev/null || skip "no qemu-system-x86_64 (scripts/setup.sh installs qemu-system-x86)"
command -v cpio >/dev/null || skip "no cpio"
busybox=/bin/busybox
[ -x "$busybox" ] && ! ldd "$busybox" >/dev/null 2>&1 || skip "no static busybox (package busybox-static)"

# The kernel package and, once, what the guest needs of it: the kernel and the three modules with what they need.
kernel_package() {
    apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*\)$/\1/p' |
        head -n 1
}
package=$(kernel_package)
if [ -z "$package" ] && [ "$(id -u)" -eq 0 ]; then
    apt-get update >/dev/null 2>&1 || true
    package=$(kernel_package)
fi
[ -n "$package" ] || skip "apt-cache knows no package behind linux-image-amd64"
kernel_dir=$cache/$package
if [ ! -f "$kernel_dir/load-order" ]; then
    echo "guest: fetching and unpacking $package (once; kept in $cache)"
    mkdir -p "$cache"
    unpack=$(mktemp -d "$cache/unpack.XXXXXX")
    trap 'rm -rf "$unpack"' EXIT
    chmod 755 "$unpack"
    (cd "$unpack" && apt-get download "$package" >download.log 2>&1) ||
        skip "apt-get download $package failed: $(grep -m 1 '^E:' "$unpack/download.log" || tail -n 1 "$unpack/download.log")"
    dpkg-deb -x "$unpack"/*.deb "$unpack/root"
    version=$(ls "$unpack/root/lib/modules")
    # The package ships no modules.dep (depmod makes it on installation).
    "$busybox" depmod -b "$unpack/root" "$version"
    dep_file=$unpack/root/lib/modules/$version/modules.dep
    mkdir -p "$unpack/out/modules"
    order=()
    add_module() {  # NAME-or-PATH: its dependencies first (modules.dep lists the deepest last), then itself
        local line path deps i
        case $1 in
        */*) line=$(grep -m 1 "^$1:" "$dep_file") ;;
        *) line=$(grep -m 1 -E "(^|/)$1\\.ko(\\.[a-z]+)?:" "$dep_file") ;;
        esac
        [ -n "$line" ] || { echo "guest: module $1 is not in $package" >&2; exit 1; }
        path=${line%%:*}
        read -r -a deps <<<"${line#*:}"
        for ((i = ${#deps[@]} - 1; i >= 0; i--)); do add_module "${deps[i]}"; done
        local name
        name=$(basename "$path")
        name=${name%%.ko*}.ko
        [[ " ${order[*]-} " == *" $name "* ]] && return
        order+=("$name")
        case $path in
        *.ko) cp "$unpack/root/lib/modules/$version/$path" "$unpack/out/modules/$name" ;;
        *.ko.xz) xz -dc "$unpack/root/lib/modules/$version/$path" >"$unpack/out/modules/$name" ;;
        *) echo "guest: cannot unpack $path" >&2; exit 1 ;;
        esac
    }
    for module in "${modules[@]}"; do add_module "$module"; done
    printf '%s\n' "${order[@]}" >"$unpack/out/modules/load-order"
    cp "$unpack/root/boot/vmlinuz-$version" "$unpack/out/vmlinuz"
    mv "$unpack/out/modules/load-order" "$unpack/out/load-order"
    if [ ! -f "$kernel_dir/load-order" ]; then  # another run may have got there first
        rm -rf "$kernel_dir"
        mv -T "$unpack/out" "$kernel_dir"
    fi
    rm -rf "$unpack"
    trap - EXIT
fi

# The initramfs: busybox, the modules, the programs with their shared libraries, the test data and /init.
work=$build/guest
rm -rf "$work"
stage=$work/root
mkdir -p "$stage"/{bin,opt/qb,lib/modules,data,etc,tmp}
trap 'kill "${qemu:-}" 2>/dev/null || true' EXIT
cp "$busybox" "$stage/bin/busybox"
cp scripts/guest-init.sh "$stage/init"
chmod 755 "$stage/init"
cp "$kernel_dir"/modules/*.ko "$kernel_dir/load-order" "$stage/lib/modules/"
for program in "${programs[@]}"; do
    cp "$program" "$stage/opt/qb/"
    ldd "$program" | grep -o '/[^ ]*' | while read -r library; do
        mkdir -p "$stage$(dirname "$library")"
        cp -L "$library" "$stage$library"
    done
done
cp tests/config/golden/default.dat tests/protocol/traces/default-write.txt "$stage/data/"
# Two configurations for two writers at once: the default with the first message (the byte after the 36-byte
# header and the 27 bytes of settings) "A" and "B".
for name in A B; do
    cp tests/config/golden/default.dat "$stage/data/$name.dat"
    printf '%s' "$name" | dd of="$stage/data/$name.dat" bs=1 seek=63 conv=notrunc status=none
done
printf 'root:x:0:0:root:/tmp:/bin/sh\ntester:x:1000:1000:tester:/tmp:/bin/sh\n' >"$stage/etc/passwd"
printf 'root:x:0:\ntester:x:1000:\n' >"$stage/etc/group"
(cd "$stage" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initrd.gz"

# The guest: bounded in time, ended by its pid if it overstays.
log=$work/console.log
started=$SECONDS
qemu-system-x86_64 -accel tcg -m 512 -smp 2 -nographic -no-reboot -nic none -monitor none -serial stdio \
    -kernel "$kernel_dir/vmlinuz" -initrd "$work/initrd.gz" \
    -append "console=ttyS0 quiet panic=-1 rdinit=/init" </dev/null >"$log" 2>&1 &
qemu=$!
while kill -0 "$qemu" 2>/dev/null; do
    if ((SECONDS - started > boot_limit)); then
        kill "$qemu" 2>/dev/null || true
        echo "guest: time limit of $boot_limit s reached, qemu ended"
        break
    fi
    sleep 1
done
wait "$qemu" 2>/dev/null || true
qemu=
# Without the firmware's terminal codes and the serial line's carriage returns.
sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g; s/\x1b[a-zA-Z]//g; s/\r$//' "$log" >"$log.txt"
mv "$log.txt" "$log"
echo "guest: ran $((SECONDS - started)) s on an emulated CPU (console: $log)"

# The write trace recorded in the guest, for tests/protocol/traces/guest-write.txt.
sed -n '/^guest: begin write-trace$/,/^guest: end write-trace$/p' "$log" | sed '1d;$d' >"$work/write-trace.txt"

failed=0
for name in "${cases[@]}"; do
    line=$(grep -m 1 "^guest: $name: " "$log" || true)
    if [ -z "$line" ]; then
        echo "guest: $name: FAIL (no result from the guest)"
        failed=1
    else
        echo "$line"
        [[ $line == "guest: $name: PASS"* ]] || failed=1
    fi
done
grep '^guest: ' "$log" | grep -v -E "^guest: ($(IFS='|'; echo "${cases[*]}")): |^guest: (begin|end) write-trace" || true
if [ "$failed" -ne 0 ]; then
    echo "guest: FAILED; the console output follows"
    grep -v -E '^[0-9.]+ [<>] |^[0-9A-F]+$' "$log" | tail -n 40
    exit 1
fi
echo "guest: all ${#cases[@]} cases passed"
