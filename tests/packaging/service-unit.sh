#!/usr/bin/env bash
# The systemd unit: systemd-analyze verify finds nothing to say about it, and its exposure stays at the score of
# the hardening (README, "The hardened service"). Arguments: the unit file and the built program, which stands in
# for /usr/bin/tapevault (verify checks that the program exists).
set -euo pipefail
unit=$1
program=$2
# The exposure systemd-analyze security gives the unit now, times ten; a higher one means a lost setting.
max_exposure=19

command -v systemd-analyze >/dev/null || { echo "systemd-analyze is missing (Debian package systemd)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sed "s#^ExecStart=/usr/bin/tapevault #ExecStart=$program #" "$unit" >"$work/tapevault.service"
grep -q "^ExecStart=$program " "$work/tapevault.service" || { echo "no ExecStart=/usr/bin/tapevault in $unit"; exit 1; }

# Unknown keys and bad values are only warnings: any output fails.
output=$(systemd-analyze verify --man=no "$work/tapevault.service" 2>&1) || { echo "$output"; exit 1; }
[ -z "$output" ] || { echo "systemd-analyze verify: $output"; exit 1; }

if ! systemd-analyze security --offline=true --threshold=$max_exposure "$work/tapevault.service" >"$work/security"; then
  grep -E "^✗|Overall" "$work/security"
  echo "the exposure rose above $max_exposure/10"
  exit 1
fi
grep "Overall exposure" "$work/security"
