#!/usr/bin/env bash
# The Prometheus alert rules are valid and their unit tests pass (every alert fires on series that should raise it
# and on no others). Argument: the folder packaging/prometheus.
set -euo pipefail
command -v promtool >/dev/null || { echo "promtool is missing (Debian package prometheus)"; exit 1; }
cd "$1"
promtool check rules tapevault.rules.yml
promtool test rules tapevault.test.yml
