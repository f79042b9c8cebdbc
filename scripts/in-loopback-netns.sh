#!/usr/bin/env bash
# Runs a command in a network namespace of its own that holds only the
# loopback interface, so that nothing it does can reach a real network (the
# Aravis tests and benchmarks talk GigE Vision to a fake camera on
# 127.0.0.1). Needs root (CI); elsewhere the command runs as it is, and the
# tests still keep to 127.0.0.1 by themselves.
set -euo pipefail
if [ "$(id -u)" -eq 0 ] && command -v unshare >/dev/null && command -v ip >/dev/null &&
  unshare -n true 2>/dev/null; then
  exec unshare -n -- bash -c 'ip link set lo up && exec "$@"' loopback-netns "$@"
fi
echo "in-loopback-netns: no network namespace available; running without one" >&2
exec "$@"
