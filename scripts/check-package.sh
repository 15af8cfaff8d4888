#!/usr/bin/env bash
# Checks the Debian package the way a technician's fresh Debian 12 machine meets it: apt installs
# the package into a clean bookworm root and must pull in the Qt runtime by itself (without
# recommended packages, so that the package's Depends alone must suffice), then each
# desktop entry's Exec line starts its program under Xvfb against the camera simulator, as an
# ordinary user in the group dialout. The check waits for the simulator to show the camera being
# read, takes a screenshot of each program, runs the clone station against the simulator (save,
# write with its read-back, the records: the SQLite driver must have come with the package), then
# against a PostgreSQL server started in the root (the PostgreSQL driver must have come with the
# package too; the server itself is a plant's, not a dependency): a master refused until it is
# approved, a job forwarded to the server under the station's and the operator's names, and the
# records read back from it; renders the man pages, validates the desktop entries and runs lintian on the package. The
# station's window, started from its desktop entry with the settings a technician left (master
# file, ports 1 and 2), runs a loop against two simulators on Space until the records hold a pass
# on port 1 and a fail-verify on port 2 and the screen shows a green and a red tile; then the
# check purges the package.
#
# Usage (as root; not part of CI):  scripts/check-package.sh [camera-adjust_*.deb]
#   default package: the newest build-package/camera-adjust_*.deb (scripts/package.sh builds it)
#   results:         build-package/check/ (screenshots, simulator traffic, man page, lintian)
#
# The clean root is made once with debootstrap in build-package/bookworm-base and kept; each run
# works on a fresh copy in build-package/bookworm-check. Delete bookworm-base to start over.
# DEBIAN_MIRROR overrides the mirror, which is otherwise taken from this machine's apt sources.
# The test tools (xvfb, xdotool, imagemagick, man-db, desktop-file-utils, lintian) go into the copy only
# after the package's own dependencies have been checked, so they cannot hide a missing one.
set -euo pipefail
cd "$(dirname "$0")/.."

[ "$(id -u)" -eq 0 ] || { echo "check-package.sh needs root (debootstrap, chroot, mounts)" >&2; exit 1; }

deb=${1:-$(ls -t build-package/camera-adjust_*.deb 2>/dev/null | head -n 1)}
[ -n "$deb" ] && [ -f "$deb" ] || { echo "No package: run scripts/package.sh first" >&2; exit 1; }

base=$PWD/build-package/bookworm-base
root=$PWD/build-package/bookworm-check
results=$PWD/build-package/check

host_mirror() {
  grep -rhv '^\s*#' /etc/apt/sources.list /etc/apt/sources.list.d/ 2>/dev/null \
    | grep -oE 'https?://[^ ]+/debian/?(\s|$)' | head -n 1 | tr -d '[:space:]' | sed 's:/$::' || true
}
mirror=${DEBIAN_MIRROR:-$(host_mirror)}
mirror=${mirror:-http://deb.debian.org/debian}

mounted_below() { findmnt -rn -o TARGET | grep -q "^$1/"; }

unmount_root() {
  for dir in sys proc dev; do
    if mountpoint -q "$root/$dir"; then umount -R "$root/$dir" || umount -R -l "$root/$dir"; fi
  done
}
trap unmount_root EXIT

# ---- The clean Debian 12 root, made once ----
if [ ! -x "$base/usr/bin/apt-get" ]; then
  command -v debootstrap >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap
  echo "== debootstrap bookworm from $mirror (once, into $base)"
  rm -rf "$base.partial"
  debootstrap --variant=minbase bookworm "$base.partial" "$mirror"
  mv "$base.partial" "$base"
fi

# ---- A fresh copy for this run ----
# Never delete a copy with the host's /dev still mounted inside it.
if mounted_below "$root"; then echo "Something is still mounted below $root; unmount it first" >&2; exit 1; fi
rm -rf "$root" "$results"
cp -a "$base" "$root"
mkdir -p "$results"
cp /etc/resolv.conf "$root/etc/resolv.conf"
# What a Debian 12 installation lists: the release, its updates and the security updates.
cat >"$root/etc/apt/sources.list" <<EOF
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb ${DEBIAN_SECURITY_MIRROR:-${mirror}-security} bookworm-security main
EOF
cp "$deb" "$root/root/"
cp scripts/pg-test-server.sh "$root/root/"
mount -t proc proc "$root/proc"
mount -t sysfs sys "$root/sys"
mount --rbind /dev "$root/dev"
mount --make-rslave "$root/dev"

cat >"$root/root/check-inside.sh" <<'INSIDE'
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8
out=/root/check
mkdir -p "$out"
fail() { echo "FAILED: $*" >&2; exit 1; }

echo "== apt-get install ./$(basename /root/camera-adjust_*.deb)"
apt-get update -qq
dpkg-query -W -f='${Package}\n' | sort >"$out/before.txt"
apt-get install -y -q --no-install-recommends /root/camera-adjust_*.deb >"$out/apt-install.log"
dpkg-query -W -f='${Package}\n' | sort >"$out/after.txt"
comm -13 "$out/before.txt" "$out/after.txt" >"$out/pulled-in.txt"
echo "   $(wc -l <"$out/pulled-in.txt") packages installed, Qt among them: $(grep -E '^(libqt6|qt6)' "$out/pulled-in.txt" | tr '\n' ' ')"

echo "== every program, the X11 platform plugin and the SQL drivers find their libraries"
plugin=$(ls /usr/lib/*/qt6/plugins/platforms/libqxcb.so 2>/dev/null) || fail "no X11 platform plugin came with Qt"
sqlite=$(ls /usr/lib/*/qt6/plugins/sqldrivers/libqsqlite.so 2>/dev/null) || fail "no SQLite driver came with the package"
psql=$(ls /usr/lib/*/qt6/plugins/sqldrivers/libqsqlpsql.so 2>/dev/null) || fail "no PostgreSQL driver came with the package"
for binary in /usr/bin/camera-adjust /usr/bin/camera-adjust-debug /usr/bin/camera-adjust-delay /usr/bin/camera-sim \
              /usr/bin/camera-station "$plugin" "$sqlite" "$psql"; do
  if ldd "$binary" | grep 'not found'; then fail "$binary lacks libraries"; fi
done

useradd -m -G dialout technician
# setpriv and env exec what they start, so $! of a background start is the program itself.
as_user=(setpriv --reuid technician --regid technician --init-groups env -i HOME=/home/technician
         PATH=/usr/local/bin:/usr/bin:/bin DISPLAY=:99 LANG=C.UTF-8)
started=()
pg_dir=
stop_started() {
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  [ -z "$pg_dir" ] || /root/pg-test-server.sh stop "$pg_dir" || true
}
trap stop_started EXIT
link_of() { echo "/home/technician/.config/camera-adjust/ports/COM$1"; }
# Waits for the simulator of port $1 (default 1) to publish its COM link.
wait_for_link() {
  local port=${1:-1} link
  link=$(link_of "$port")
  for _ in $(seq 100); do [ -L "$link" ] && break; sleep 0.1; done
  [ -L "$link" ] || fail "camera-sim did not publish COM$port"
}

echo "== the clone station against the simulator, before any test tool is installed"
"${as_user[@]}" camera-station --help >"$out/station-help.txt" || fail "camera-station --help"
grep -q '^Usage:' "$out/station-help.txt" || fail "camera-station --help shows no usage"
"${as_user[@]}" camera-sim >"$out/station-sim.log" 2>&1 &
sim_pid=$!
started=("$sim_pid" "${started[@]}")
wait_for_link
station() { "${as_user[@]}" camera-station "$@" >>"$out/station.txt" 2>&1 || fail "camera-station $*"; }
station save /tmp/master.dat
station write /tmp/master.dat
station records
kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true
grep -c '^port 1: PASS' "$out/station.txt" | grep -qx 2 || { cat "$out/station.txt"; fail "camera-station did not pass twice"; }
grep -Ec '^ *[0-9]+ .* pass ' "$out/station.txt" | grep -qx 2 || { cat "$out/station.txt"; fail "the records do not show both jobs"; }
echo "   save and write passed, both recorded"

echo "== the clone station against a PostgreSQL server (a plant's records)"
# The server is what a plant runs on its records host: installed here for the check alone, without
# its own cluster or service; scripts/pg-test-server.sh starts one on a Unix socket in /tmp/pg.
printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d && chmod +x /usr/sbin/policy-rc.d
mkdir -p /etc/postgresql-common && echo "create_main_cluster = false" >/etc/postgresql-common/createcluster.conf
apt-get install -y -q --no-install-recommends postgresql >"$out/apt-postgresql.log"
rm -f /usr/sbin/policy-rc.d
mkdir -p /tmp/pg
/root/pg-test-server.sh start /tmp/pg
pg_dir=/tmp/pg
# The stations' role owns the database, as the README sets it up.
runuser -u postgres -- psql -q -h /tmp/pg -U postgres -c "CREATE ROLE technician LOGIN" >/dev/null
runuser -u postgres -- createdb -h /tmp/pg -U postgres -O technician camera
mkdir -p /home/technician/.config/camera-adjust
cat >/home/technician/.config/camera-adjust/station.conf <<SETTINGS
[station]
database=postgresql://technician@/camera?host=/tmp/pg
name=check-line
require_approved=true
SETTINGS
chown -R technician:technician /home/technician/.config
"${as_user[@]}" camera-sim >"$out/plant-sim.log" 2>&1 &
sim_pid=$!
started=("$sim_pid" "${started[@]}")
wait_for_link
plant() { "${as_user[@]}" camera-station "$@" >>"$out/plant.txt" 2>&1; }
status=0; plant write /tmp/master.dat --operator tester || status=$?
[ "$status" -eq 2 ] && grep -q 'is not approved for writing' "$out/plant.txt" \
  || { cat "$out/plant.txt"; fail "an unapproved master was not refused (exit $status)"; }
plant approve /tmp/master.dat --note "package check" || fail "camera-station approve"
plant write /tmp/master.dat --operator tester || { cat "$out/plant.txt"; fail "camera-station write against the server"; }
grep -q 'records: all on the server' "$out/plant.txt" || { cat "$out/plant.txt"; fail "the record did not reach the server"; }
kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true
"${as_user[@]}" camera-station records --csv --station check-line >"$out/plant-records.csv" || fail "camera-station records from the server"
awk -F, '{ sub(/\r$/, "") } NR == 1 { for (i = 1; i <= NF; i++) c[$i] = i; next }
         $c["result"] == "pass" && $c["station"] == "check-line" && $c["operator"] == "tester" { n++ }
         END { exit n == 1 ? 0 : 1 }' "$out/plant-records.csv" \
  || { cat "$out/plant-records.csv"; fail "the server does not hold the pass of check-line by tester once"; }
# The window later reads the same settings: it goes on with the SQLite records of the first checks.
rm /home/technician/.config/camera-adjust/station.conf
/root/pg-test-server.sh stop "$pg_dir"
pg_dir=
echo "   refused until approved, then written; the server holds the pass of check-line by tester"

echo "== test tools (not dependencies of the package)"
apt-get install -y -q --no-install-recommends xvfb xauth xdotool imagemagick man-db desktop-file-utils lintian >"$out/apt-tools.log"

echo "== desktop entries"
desktop-file-validate /usr/share/applications/camera-adjust*.desktop /usr/share/applications/camera-station-window.desktop
[ -f /usr/share/icons/hicolor/scalable/apps/camera-adjust.svg ] || fail "icon missing"

echo "== man pages"
[ "$(readlink /usr/share/man/man1/camera-station-window.1.gz)" = camera-station.1.gz ] \
  || fail "man camera-station-window is not the clone station's page"
for page in camera-adjust camera-adjust-debug camera-adjust-delay camera-sim camera-station camera-station-window; do
  MANWIDTH=80 man -P cat "$page" >"$out/man-$page.txt" 2>"$out/man-$page.err" || fail "man $page"
  [ -s "$out/man-$page.err" ] && { cat "$out/man-$page.err"; fail "man $page warns"; }
  grep -q "SERIAL PORTS" "$out/man-$page.txt" || fail "man $page does not show the page"
done

echo "== lintian"
lintian --tag-display-limit 0 /root/camera-adjust_*.deb >"$out/lintian.txt" 2>&1 || true
cat "$out/lintian.txt"

echo "== each desktop entry against the simulator, under Xvfb, as a user in dialout"
Xvfb :99 -screen 0 1024x768x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
started+=($!)
for _ in $(seq 100); do [ -S /tmp/.X11-unix/X99 ] && break; sleep 0.1; done
[ -S /tmp/.X11-unix/X99 ] || fail "Xvfb did not start"

# Waits until the simulator has answered and its traffic has been quiet for two seconds: the
# program has read its page. Gives up after 60 seconds.
wait_for_page_read() {
  local log=$1 last=-1 size quiet=0
  for _ in $(seq 600); do
    sleep 0.1
    grep -q '^-> ' "$log" || continue
    size=$(stat -c %s "$log")
    if [ "$size" -eq "$last" ]; then quiet=$((quiet + 1)); else quiet=0; last=$size; fi
    [ "$quiet" -ge 20 ] && return 0
  done
  return 1
}

# The command a desktop entry starts, without its field codes.
desktop_exec() { sed -n 's/^Exec=//p' "/usr/share/applications/$1.desktop" | sed 's/ %[fFuUdDnNickvm]//g'; }

for entry in camera-adjust camera-adjust-debug camera-adjust-delay; do
  exec_line=$(desktop_exec "$entry")
  log=/tmp/$entry-sim.log
  "${as_user[@]}" camera-sim >"$log" 2>&1 &
  sim_pid=$!
  started=("$sim_pid" "${started[@]}")
  wait_for_link
  "${as_user[@]}" sh -c "exec $exec_line" >"/tmp/$entry.log" 2>&1 &
  tool_pid=$!
  started=("$tool_pid" "${started[@]}")
  wait_for_page_read "$log" || { cat "$log" "/tmp/$entry.log"; fail "$entry: the camera was not read"; }
  kill -0 "$tool_pid" 2>/dev/null || { cat "/tmp/$entry.log"; fail "$entry ended by itself"; }
  "${as_user[@]}" import -window root "/tmp/$entry.png"
  echo "   $entry ($exec_line): $(grep -c '^-> ' "$log") answers from the simulator, still running"
  kill "$tool_pid"; wait "$tool_pid" 2>/dev/null || true
  kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true
  grep -q 'link removed' "$log" || fail "camera-sim did not stop cleanly"
  cp "$log" "/tmp/$entry.log" "/tmp/$entry.png" "$out/"
done

echo "== the clone station's window from its desktop entry: a loop on two ports, PASS and FAIL"
# Port 1's camera is the one the master file came from; port 2's has a word that takes no writes.
"${as_user[@]}" camera-sim --port 1 --boot-ms 300 >/tmp/station-window-sim1.log 2>&1 &
sim1_pid=$!
"${as_user[@]}" camera-sim --port 2 --seed 5 --boot-ms 300 --unwritten-word 0x155 >/tmp/station-window-sim2.log 2>&1 &
sim2_pid=$!
started=("$sim1_pid" "$sim2_pid" "${started[@]}")
wait_for_link 1
wait_for_link 2

# The records (CSV, header first) whose id is above $1, as "port result" lines.
records_after() {
  "${as_user[@]}" camera-station records --csv | awk -F, -v after="$1" '
    { sub(/\r$/, "") }
    NR == 1 { for (i = 1; i <= NF; i++) column[$i] = i; next }
    $column["id"] > after { print $column["port"], $column["result"] }'
}
last_id=$("${as_user[@]}" camera-station records --csv | awk -F, 'NR == 2 { print $1 }')
last_id=${last_id:-0}

# What the technician left in the window's settings: the master file and ports 1 and 2 ticked.
mkdir -p /home/technician/.config/camera-adjust
cat >/home/technician/.config/camera-adjust/camera-station-window.conf <<SETTINGS
[General]
master_file=/tmp/master.dat
ports="1,2"
SETTINGS
chown -R technician:technician /home/technician/.config

exec_line=$(desktop_exec camera-station-window)
"${as_user[@]}" sh -c "exec $exec_line" </dev/null >/tmp/station-window.log 2>&1 &
window_pid=$!
started=("$window_pid" "${started[@]}")
window_failed() {
  "${as_user[@]}" import -window root "$out/station-window.png" || true
  cat /tmp/station-window.log; records_after "$last_id"; fail "camera-station-window: $*"
}
window_ids=$("${as_user[@]}" timeout 30 xdotool search --sync --onlyvisible --name '^Camera Clone Station') \
  || window_failed "no window within 30 s"
window_id=${window_ids%%$'\n'*}
# Space starts the run; without a window manager the window gets the keyboard from xdotool.
"${as_user[@]}" timeout 10 xdotool windowfocus --sync "$window_id" key space || window_failed "could not press Space"

deadline=$((SECONDS + 60))
recorded() { local rows; rows=$(records_after "$last_id"); grep -qx '1 pass' <<<"$rows" && grep -qx '2 fail-verify' <<<"$rows"; }
until recorded; do
  [ "$SECONDS" -lt "$deadline" ] || window_failed "no pass on port 1 and fail-verify on port 2 recorded within 60 s"
  kill -0 "$window_pid" 2>/dev/null || window_failed "ended by itself"
  sleep 0.5
done

# The tiles show what was recorded: a PASS tile filled light green and a FAIL tile filled dark
# red (the window's kPassColour and kFailColour).
tile_pixels() { convert /tmp/station-window.png -format %c histogram:info:- | awk -v colour="$1" 'toupper($3) == colour { print $1 + 0 }'; }
tiles_shown() {
  "${as_user[@]}" import -window root /tmp/station-window.png &&
    [ "$(tile_pixels '#81C784')" -gt 5000 ] 2>/dev/null && [ "$(tile_pixels '#B71C1C')" -gt 5000 ] 2>/dev/null
}
deadline=$((SECONDS + 10))
until tiles_shown; do
  [ "$SECONDS" -lt "$deadline" ] || window_failed "no light green PASS and dark red FAIL tile on the screen"
  sleep 0.5
done
cp /tmp/station-window.png "$out/"
records_after "$last_id" | sort | sed 's/^/   recorded: port /'

# Space again stops the run: the window lets go of both ports before it is closed.
ports_pattern="-> ($(readlink "$(link_of 1)")|$(readlink "$(link_of 2)"))\$"
holds_port() { local fds; fds=$(ls -l "/proc/$window_pid/fd" 2>/dev/null); grep -qE -- "$ports_pattern" <<<"$fds"; }
holds_port || window_failed "does not hold its ports while the run waits for the cameras to be unplugged"
"${as_user[@]}" timeout 10 xdotool key space || window_failed "could not press Space to stop"
deadline=$((SECONDS + 20))
while holds_port; do
  [ "$SECONDS" -lt "$deadline" ] || window_failed "still holds its ports 20 s after Space stopped the run"
  sleep 0.2
done
kill "$window_pid"; wait "$window_pid" 2>/dev/null || true
kill "$sim1_pid" "$sim2_pid"; wait "$sim1_pid" "$sim2_pid" 2>/dev/null || true
grep -q 'link removed' /tmp/station-window-sim1.log && grep -q 'link removed' /tmp/station-window-sim2.log \
  || fail "camera-sim did not stop cleanly"
cp /tmp/station-window.log /tmp/station-window-sim1.log /tmp/station-window-sim2.log "$out/"

echo "== apt-get purge leaves nothing behind"
apt-get purge -y -q camera-adjust >"$out/apt-purge.log"
left=$(ls -d /usr/bin/camera-* /usr/share/applications/camera-adjust* /usr/share/doc/camera-adjust \
          /usr/share/man/man1/camera-* /usr/share/icons/hicolor/scalable/apps/camera-adjust.svg 2>/dev/null || true)
[ -z "$left" ] || fail "left after purge: $left"
echo "== all checks passed"
INSIDE

status=0
chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root TERM=dumb \
  bash /root/check-inside.sh || status=$?
cp -a "$root/root/check/." "$results/" 2>/dev/null || true
echo "Results in $results (screenshots: $(cd "$results" && ls -- *.png 2>/dev/null | tr '\n' ' '))"
exit "$status"
