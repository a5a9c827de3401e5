#!/bin/busybox sh
# The guest's /init: loads the HID modules, then runs the command line against the virtual encoder over the real
# kernel path (uhid -> hid-generic -> hidraw -> hidapi). Prints one "guest: CASE: PASS|FAIL ..." line a case,
# the recorded write trace between markers, and powers the guest off.
/bin/busybox mkdir -p /bin /sbin /usr/bin /usr/sbin /proc /sys /dev /tmp
/bin/busybox --install -s
export PATH=/opt/qb:/bin:/sbin:/usr/bin:/usr/sbin LD_LIBRARY_PATH=/lib/x86_64-linux-gnu
export QB_BACKUP_DIR=/tmp/backups  # the guest has no home; backups go here
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
echo 1 >/proc/sys/kernel/printk
for module in $(cat /lib/modules/load-order); do
    insmod "/lib/modules/$module" || echo "guest: insmod $module failed"
done

echo  # the firmware's terminal codes end on a line of their own
limit=60  # seconds for any one program run: a hang fails its case instead of the whole guest
fifo=/tmp/control
mkfifo "$fifo"

# Waits up to 10 s for a hidraw node to appear (after a plug in) or all of them to go (after an unplug).
wait_hidraw() {
    i=0
    while [ $i -lt 100 ]; do
        if [ "$1" = present ]; then ls /dev/hidraw* >/dev/null 2>&1 && return 0; else
            ls /dev/hidraw* >/dev/null 2>&1 || return 0; fi
        usleep 100000
        i=$((i + 1))
    done
    return 1
}
send() { echo "$1" >&3; }
result() {  # CASE STATUS DETAIL
    echo "guest: $1: $2${3:+ ($3)}"
}
# Runs a program with the time limit, standard output and error to /tmp/out and /tmp/err; sets $status.
run() {
    timeout "$limit" "$@" >/tmp/out 2>/tmp/err
    status=$?
}
first_line() { head -n 1 "$1"; }

quillanterbrooke-virtual-device --serial GUEST-0001 --received /tmp/received.txt <"$fifo" >/tmp/device.log 2>&1 &
device=$!
exec 3>"$fifo"
wait_hidraw present || { echo "guest: virtual device did not appear"; cat /tmp/device.log; }

# 1. Write: the 37 reports the device received are those of the recorded trace; the read-back that verifies
# them follows.
run quillanterbrooke-cli --trace /tmp/write-trace.txt write --no-backup /data/default.dat
grep -v '^#' /data/default-write.txt >/tmp/expected.txt
head -n 37 /tmp/received.txt >/tmp/written.txt
if [ $status -eq 0 ] && grep -qx "Download Complete" /tmp/out && cmp -s /tmp/expected.txt /tmp/written.txt; then
    result write PASS "37 reports as recorded, Download Complete, $(($(wc -l </tmp/received.txt) - 37)) more to verify"
else
    result write FAIL "exit $status, $(wc -l </tmp/received.txt) reports, $(first_line /tmp/err)"
fi

# 2. Read back what was written.
run quillanterbrooke-cli read
if [ $status -eq 0 ] && grep -qx "Read Complete" /tmp/out && grep -qx "Baud rate: 19200" /tmp/out &&
    grep -q "^Serial Number" /tmp/out; then
    result read PASS "Read Complete, $(grep '^Baud rate' /tmp/out)"
else
    result read FAIL "exit $status, $(first_line /tmp/err)"
fi

# 3. The device as hidapi sees it through hidraw: release 0000 (so neither mode can be told), the uhid uniq as
# its serial number.
run quillanterbrooke-cli list
if [ $status -eq 0 ] && grep -q "^/dev/hidraw[0-9]*  unknown release (0000)  serial GUEST-0001  this user may open it$" /tmp/out; then
    result list PASS "$(first_line /tmp/out)"
else
    result list FAIL "exit $status: $(first_line /tmp/out) $(first_line /tmp/err)"
fi

# 4. Keypad test with key 6 (row 2, column 2: legend 5) held on the device.
send "key 6"
run quillanterbrooke-cli keys 2
send "key 0"
if [ $status -eq 0 ] && grep -qx "Key 5 (row 2, column 2)" /tmp/out; then
    result keys PASS "$(grep -m 1 '^Key 5' /tmp/out)"
else
    result keys FAIL "exit $status, $(first_line /tmp/out) $(first_line /tmp/err)"
fi

# 4b. Two writes, each backed up first; restore writes the first one's configuration back from its backup, verified,
# and the device then holds exactly that file's configuration.
run quillanterbrooke-cli write /data/A.dat
status_a=$status
run quillanterbrooke-cli write /data/B.dat
status_b=$status
run quillanterbrooke-cli restore latest
restored=$status
cp /tmp/out /tmp/restore-out
run quillanterbrooke-cli diff device /data/A.dat
if [ $status_a -eq 0 ] && [ $status_b -eq 0 ] && [ $restored -eq 0 ] && grep -qx "Download verified" /tmp/restore-out &&
    [ $status -eq 0 ]; then
    result restore PASS "$(ls /tmp/backups/*.dat | wc -l) backups; $(sed -n 2p /tmp/restore-out | cut -c1-60)...; diff device A: alike"
else
    result restore FAIL "writes $status_a $status_b, restore $restored ($(first_line /tmp/err)), diff $status: $(head -c 200 /tmp/out)"
fi

# 5. The device vanishes on the 10th report of a write: the write ends at once with a clear message; after the
# device is back the next write succeeds.
send "unplug-after 10"
start=$(cut -d ' ' -f 1 /proc/uptime)
run quillanterbrooke-cli write /data/default.dat
took=$(awk -v a="$start" -v b="$(cut -d ' ' -f 1 /proc/uptime)" 'BEGIN { printf "%.1f", b - a }')
unplugged_status=$status
cp /tmp/err /tmp/unplug-err
wait_hidraw absent
send replug
wait_hidraw present
run quillanterbrooke-cli write /data/default.dat
if [ $unplugged_status -eq 1 ] && [ "$(sed -n 1p /tmp/unplug-err)" = "Cannot communicate with VELMORA" ] &&
    [ "$(sed -n 2p /tmp/unplug-err)" = "The device was disconnected." ] && [ $status -eq 0 ] &&
    grep -qx "Download Complete" /tmp/out; then
    result unplug PASS "ended after ${took} s: $(tr '\n' ' ' </tmp/unplug-err)then Download Complete after replug"
else
    result unplug FAIL "exit $unplugged_status after ${took} s: $(tr '\n' '|' </tmp/unplug-err) replugged write: exit $status"
fi

# 6. Two writers at once, of two files that differ in their first message: one writes and verifies, the other is
# told the device is in use by the first and writes nothing; the device then holds the winner's configuration.
# Answers 50 ms late stretch a write to seconds: the second writer surely starts while the first is at work.
send "delay 50"
usleep 300000
writers=
for name in A B; do
    (timeout "$limit" quillanterbrooke-cli write --all "/data/$name.dat" >"/tmp/out-$name" 2>"/tmp/err-$name"
        echo $? >"/tmp/status-$name") &
    writers="$writers $!"
done
wait $writers  # not the virtual device, which runs in the background too
send "delay 0"
status_a=$(cat /tmp/status-A)
status_b=$(cat /tmp/status-B)
if [ "$status_a" = 0 ]; then winner=A loser=B; else winner=B loser=A; fi
quillanterbrooke-cli show "/data/$winner.dat" >/tmp/shown 2>&1
run quillanterbrooke-cli read --all
tail -n "$(wc -l </tmp/shown)" /tmp/out >/tmp/held
if [ "$status_a$status_b" = 01 ] || [ "$status_a$status_b" = 10 ]; then
    if grep -qx "Download verified" "/tmp/out-$winner" && ! grep -q "Download" "/tmp/out-$loser" &&
        grep -qx 'VELMORA is in use by another program (quillanterbrooke-cli, process [0-9]*)' "/tmp/err-$loser" &&
        [ $status -eq 0 ] && cmp -s /tmp/shown /tmp/held; then
        result twowriters PASS "$winner verified and held by the device; $loser: $(first_line "/tmp/err-$loser")"
    else
        result twowriters FAIL "$winner: $(tail -n 1 "/tmp/out-$winner"); $loser: $(first_line "/tmp/err-$loser"); read-back: exit $status, $(cmp /tmp/shown /tmp/held 2>&1)"
    fi
else
    result twowriters FAIL "exit $status_a and $status_b: $(first_line /tmp/err-A) | $(first_line /tmp/err-B)"
fi

# 7. A user without access to /dev/hidraw* (devtmpfs makes it root-only) is told why; once the node is opened
# up, as the udev rule would, the same user succeeds.
as_user="su -s /bin/sh tester -c"
run $as_user "quillanterbrooke-cli read"
denied_status=$status
cp /tmp/err /tmp/denied-err
chmod 0666 /dev/hidraw*
run $as_user "quillanterbrooke-cli read"
if [ $denied_status -eq 1 ] && [ "$(sed -n 1p /tmp/denied-err)" = "Cannot find VELMORA" ] &&
    grep -q "may not open" /tmp/denied-err && [ $status -eq 0 ] && grep -qx "Read Complete" /tmp/out; then
    result permission PASS "refused with the permission help, then Read Complete once the node is open"
else
    result permission FAIL "exit $denied_status: $(tr '\n' '|' </tmp/denied-err) opened up: exit $status"
fi
chmod 0600 /dev/hidraw*

# 8. The benchmark over the real hidraw path (emulated CPU).
timeout 120 qb_device_bench --hidraw 20 >/tmp/bench.txt 2>&1 && bench=PASS || bench=FAIL
result bench "$bench" "$(tail -n 1 /tmp/bench.txt)"

echo "guest: begin write-trace"
cat /tmp/write-trace.txt
echo "guest: end write-trace"

# 9. SIGTERM ends the virtual device cleanly: exit status 0, and its node is gone.
kill -TERM "$device"
wait "$device"
status=$?
if [ $status -eq 0 ] && wait_hidraw absent; then
    result shutdown PASS "SIGTERM: status 0, device removed"
else
    result shutdown FAIL "status $status: $(tail -n 2 /tmp/device.log | tr '\n' ' ')"
fi
exec 3>&-

# 9. A bench of three encoders as the bus watcher (the kernel's own events: no udev daemon runs here) and the plug
# tracker see it: each plug its own, also one pulled and pushed back in at once on the same node with the same
# serial number, which only the events tell apart; and how soon after the plug each was seen.
mkfifo /tmp/bench-control /tmp/watch-control
quillanterbrooke-virtual-device --count 3 --serial-base 2000 --unplugged </tmp/bench-control >/tmp/bench.log 2>&1 &
bench_device=$!
exec 3>/tmp/bench-control
qb_plug_watch </tmp/watch-control >/tmp/plugs.txt 2>&1 &
watcher=$!
exec 4>/tmp/watch-control
sleep 1
for step in "plug 1" "swap 1 2" "unplug 2\nplug 2" "plug 3"; do
    printf "$step\n" >&3
    sleep 1
done
exec 4>&-
wait "$watcher"
exec 3>&-
wait "$bench_device"
seen=$(grep -E '^(un)?plug ' /tmp/plugs.txt | sed 's/ \/dev[^ ]*//; s/ monotonic=.*//' | tr '\n' ',')
# The n-th plug the device made against the n-th the watcher saw.
latency=$( (grep '^event plug ' /tmp/bench.log | sed 's/.*monotonic=\([0-9.]*\).*/d \1/'
    grep '^plug ' /tmp/plugs.txt | sed 's/.*monotonic=\([0-9.]*\).*/w \1/') |
    awk '$1 == "d" { d[++nd] = $2 } $1 == "w" { w[++nw] = $2 }
         END { m = -1; for (i = 1; i <= nw; i++) if (w[i] - d[i] > m) m = w[i] - d[i]; printf "%d", m * 1000 }')
expected="plug 1 serial=2000,unplug 1 serial=2000,plug 2 serial=2001,unplug 2 serial=2001,plug 3 serial=2001,plug 4 serial=2002,"
if [ "$seen" = "$expected" ] && [ "$latency" -ge 0 ] && [ "$latency" -lt 1000 ]; then
    result plugs PASS "$(head -n 1 /tmp/plugs.txt): 4 plugs, each its own; seen at most $latency ms after its plug"
else
    result plugs FAIL "seen: $seen latency: $latency ms; $(head -n 1 /tmp/plugs.txt)"
fi
# 10. The workshop: program --each without a log over a bench of eight encoders, the third of which keeps a wrong
# byte: three plugged 0.2 s apart, then the first swapped for the fourth at once, then all eight unplugged and
# plugged at once. Every plug gets exactly one line with its result; the plug-to-line times are printed.
mkfifo /tmp/ws-control
quillanterbrooke-virtual-device --count 8 --serial-base 3000 --unplugged --fail 3 </tmp/ws-control \
    >/tmp/ws-bench.log 2>&1 &
ws_device=$!
exec 3>/tmp/ws-control
sleep 1
quillanterbrooke-cli program /data/default.dat --each --json >/tmp/ws-out 2>/tmp/ws-err &
programmer=$!
sleep 2
printf "plug 1\n" >&3; usleep 200000; printf "plug 2\n" >&3; usleep 200000; printf "plug 3\n" >&3
sleep 4
printf "swap 1 4\n" >&3
sleep 4
printf "unplug 2\nunplug 3\nunplug 4\n" >&3
sleep 2
printf "plug 1\nplug 2\nplug 3\nplug 4\nplug 5\nplug 6\nplug 7\nplug 8\n" >&3
sleep 12
kill -INT "$programmer"
wait "$programmer"
ws_status=$?
exec 3>&-
wait "$ws_device"
lines=$(grep -c '"result"' /tmp/ws-out)
failed=$(grep '"result"' /tmp/ws-out | grep -vc '"result":"ok"')
wrong=$(grep '"result"' /tmp/ws-out | grep -v '"serial":"3002"' | grep -vc '"result":"ok"')
# Seconds of the UTC day: the bench's plug events (realtime) against the lines' times, in plug order per serial.
times=$( (grep '^event plug ' /tmp/ws-bench.log | sed 's/.*serial=\([0-9]*\).*realtime=\([0-9.]*\).*/p \1 \2/'
    grep '"result"' /tmp/ws-out | sed 's/.*"time":"[0-9-]*T\([0-9]*\):\([0-9]*\):\([0-9.]*\)Z".*"serial":"\([0-9]*\)".*"duration_ms":\([0-9]*\).*/l \4 \1 \2 \3 \5/') |
    awk '$1 == "p" { plug[$2, ++np[$2]] = $3 % 86400 }
         $1 == "l" { t = $3 * 3600 + $4 * 60 + $5; n = ++nl[$2]; p = plug[$2, n]; d = t - p; w = $6 / 1000; c++
                     if (c <= 4) { if (d - w > single) single = d - w; if (w > one) one = w }
                     else { if (first == "" || p < first) first = p; if (t > last) last = t } }
         END { printf "%d %d %d %d", c, single * 1000, one * 1000, (last - first) * 1000 }')
set -- $times
if [ "$lines" = 12 ] && [ "$failed" = 2 ] && [ "$wrong" = 0 ] && [ "$ws_status" = 1 ] &&
    grep -qx "10 passed, 2 failed" /tmp/ws-out; then
    result workshop PASS "12 plugs, 12 lines, the faulty encoder failed twice; one at a time: at most ${2} ms from plug to line beyond the write itself (at most ${3} ms); eight at once: ${4} ms from the first plug to the last line"
else
    result workshop FAIL "lines $lines failed $failed (wrong $wrong) exit $ws_status: $(tail -n 1 /tmp/ws-out) $(head -c 200 /tmp/ws-err)"
fi

sync
poweroff -f
