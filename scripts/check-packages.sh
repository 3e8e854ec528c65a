#!/usr/bin/env bash
# Builds the Debian package of Wardenix and checks it as an administrator
# would meet it:
#   1. builds the programs (Release) and the package with CPack in
#      build/package;
#   2. lintian, failing on errors and warnings;
#   3. installs it with apt-get install ./wardenix_*.deb, and checks the
#      installed unit with systemd-analyze verify, the manual pages, the
#      autostart entry, --version, and that the programs read the installed
#      rez.ini through their links;
#   4. runs the installed wardenix-console as its unit runs it (its user, its
#      folder, its command) against the trial server DAZEVAVIZ.EXE of this
#      tree, put for the while into /opt/wardenix, in private PID, mount and
#      network namespaces with a private system bus (demo/private-pids.sh,
#      demo/private-bus.sh): it must start the server and keep it through
#      three checks, and quit at once on SIGTERM;
#   5. removes the package again (apt-get purge), with the trial server, and
#      the system user the package made when it was not there before.
# It changes nothing else on the machine, and refuses to start where a
# package wardenix is installed or /opt/wardenix or /etc/opt/wardenix
# exists. Needs root for the install (else sudo).
#   scripts/check-packages.sh
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD

if [[ "${1:-}" == --run-installed ]]; then
  # Step 4, inside the namespaces: --run-installed WORK TRIAL_SERVER STANDIN
  work=$2 server=$3 standin=$4
  unit=/lib/systemd/system/wardenix-console.service
  setting() { sed -n "s/^$1=//p" "$unit" | tail -n 1; }
  user=$(setting User) folder=$(setting WorkingDirectory) command=$(setting ExecStart)
  [[ -n "$user" && -n "$folder" && -n "$command" ]] || { echo "the unit lacks User, WorkingDirectory or ExecStart"; exit 1; }

  console_pid=
  finish() {
    [[ -z "$console_pid" ]] || kill -KILL "$console_pid" 2>/dev/null || true
    "$source/demo/private-bus.sh" stop "$work/bus" >/dev/null 2>&1 || true
  }
  trap finish EXIT
  mkdir -p "$work/bus"
  chmod 755 "$(dirname "$work")" "$work" "$work/bus"  # the service's user reaches the bus
  eval "$("$source/demo/private-bus.sh" start "$work/bus" --standin "$standin" \
    --unit FirebirdServerDefaultInstance.service=active)"

  source "$source/tests/app/wait_until.sh"
  server_pid() { pgrep -x DAZEVAVIZ.EXE | head -n 1 || true; }
  server_runs() { [[ -n "$(server_pid)" ]]; }
  checks() { grep -c ': Verificando Conexão$' "$work/log" || true; }
  fail() { echo "FAILED: $1"; cat "$work/log"; exit 1; }

  # At 50 times the speed: the missing server is started after 122 s, 2.4 s.
  # ExecStart is split into words as systemd splits it (it has no quotes).
  # shellcheck disable=SC2086
  (cd "$folder" && exec setpriv --reuid="$user" --regid="$user" --init-groups \
    $command --time-scale 50) >"$work/log" 2>&1 &
  console_pid=$!
  wait_until 20 server_runs || fail "the installed watchdog did not start the server"
  first=$(server_pid)
  owner=$(ps -o user= -p "$first")
  [[ "$owner" == "$user" ]] || fail "the server runs as $owner, not as $user"
  started=$(checks)
  wait_until 20 bash -c "(( \$(grep -c ': Verificando Conexão\$' '$work/log') >= $started + 3 ))" ||
    fail "the checks stopped"
  [[ "$(server_pid)" == "$first" ]] || fail "the server that answers was replaced"
  grep -q ': Firebird Default OK$' "$work/log" || fail "the database check did not pass"
  kill -TERM "$console_pid"
  wait_until 5 bash -c "! kill -0 $console_pid 2>/dev/null" || fail "the watchdog did not quit on SIGTERM"
  status=0
  wait "$console_pid" || status=$?
  console_pid=
  [[ $status -eq 0 ]] || fail "the watchdog exited with $status"
  sed 's/^/  | /' "$work/log"
  echo "installed watchdog: started the server (pid $first, user $owner), kept it through $(( $(checks) - started )) checks, quit on SIGTERM"
  exit 0
fi

as_root=()
[[ $(id -u) -eq 0 ]] || as_root=(sudo)

if [[ "$(dpkg-query -W -f='${Status}' wardenix 2>/dev/null || true)" == *installed* ]] ||
   [[ -e /opt/wardenix || -e /etc/opt/wardenix ]]; then
  echo "check-packages.sh: Wardenix is installed on this machine (package wardenix, /opt/wardenix or /etc/opt/wardenix); not touching it" >&2
  exit 1
fi

scripts/install-deps.sh build desktop package
start=$(date +%s)

build=build/package
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$source")}
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWARDENIX_TESTS=OFF -DWARDENIX_QT=ON \
  "${launcher[@]}" >/dev/null
cmake --build "$build"
rm -f "$build"/wardenix_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/wardenix_*.deb)
echo "== $deb"
dpkg-deb --field "$deb" Package Version Depends

echo "== lintian"
lintian --fail-on error,warning --pedantic "$deb" 2>&1 | grep -v '^running with root privileges' || true
lintian --fail-on error,warning "$deb" >/dev/null 2>&1 || { echo "lintian: FAILED"; exit 1; }
echo "lintian: no errors, no warnings"

user_existed=0
getent passwd wardenix >/dev/null && user_existed=1
group_existed=0
getent group wardenix >/dev/null && group_existed=1
work=$(mktemp -d)
uninstall() {
  local status=$?
  echo "== removing the package"
  "${as_root[@]}" rm -f /opt/wardenix/DAZEVAVIZ.EXE /opt/wardenix/varudedizerazidad.exe
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get purge -y -q wardenix >/dev/null || status=1
  if [[ $user_existed == 0 ]] && getent passwd wardenix >/dev/null; then
    "${as_root[@]}" deluser --quiet --system wardenix 2>/dev/null || status=1
  fi
  if [[ $group_existed == 0 ]] && getent group wardenix >/dev/null; then
    "${as_root[@]}" delgroup --quiet --system wardenix || status=1
  fi
  [[ ! -e /opt/wardenix && ! -e /etc/opt/wardenix ]] || { echo "left behind: $(ls -d /opt/wardenix /etc/opt/wardenix 2>/dev/null)"; status=1; }
  "${as_root[@]}" rm -rf "$work"
  echo "removed: package wardenix, its files and its user"
  echo "check-packages.sh took $(( $(date +%s) - start )) s"
  exit "$status"
}

echo "== installing: apt-get install ./$deb (removed again at the end)"
trap uninstall EXIT
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q "./$deb" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; exit 1; }
grep -E '^(Setting up|Unpacking) wardenix' "$work/apt.log"

echo "== systemd-analyze verify"
man_option=()
command -v man >/dev/null || man_option=(--man=no)
systemd-analyze verify "${man_option[@]}" /lib/systemd/system/wardenix-console.service
echo "systemd-analyze verify: no complaints"

echo "== installed files"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
for program in wardenix-console wardenix-inspect wardenix; do
  [[ "$("$program" --version)" == "$program $version" ]] || { echo "$program --version: not $version"; exit 1; }
  man -w "$program" >/dev/null || { echo "no manual page for $program"; exit 1; }
done
desktop-file-validate /etc/xdg/autostart/wardenix.desktop
# Started through its link in /usr/bin, a program reads rez.ini in
# /opt/wardenix, and that is the configuration file in /etc/opt/wardenix.
config=$(wardenix-inspect config) || { echo "$config"; echo "wardenix-inspect config: the installed rez.ini is not usable"; exit 1; }
grep -q '/opt/wardenix/rez.ini' <<<"$config" && grep -q 'PORTADS: *"3063" (line' <<<"$config" ||
  { echo "$config"; echo "wardenix-inspect config: rez.ini not read from /opt/wardenix"; exit 1; }
echo "--version gives $version; manual pages found; autostart entry valid; rez.ini read through /opt/wardenix"

echo "== the installed watchdog against the trial server"
"${as_root[@]}" install -m 755 "$build/trialserver/DAZEVAVIZ.EXE" /opt/wardenix/DAZEVAVIZ.EXE
"${as_root[@]}" touch /opt/wardenix/varudedizerazidad.exe
"${as_root[@]}" demo/private-pids.sh --net --or-exit 1 "$source/scripts/check-packages.sh" \
  --run-installed "$work/run" "$source/$build/trialserver/DAZEVAVIZ.EXE" "$source/$build/demo/wardenix-svcmgr-standin"
