# Sourced by the web benchmarks: builds web_server_bench in the release tree and serves its fixture (16 slots,
# 50,000 recordings in the first) until the sourcing script exits. Sets SERVER (its process) and PORT.
cmake -S . -B build/release -G Ninja -Wno-dev -DCMAKE_BUILD_TYPE=Release -DTAPEVAULT_TESTS=OFF >/dev/null
cmake --build build/release --target web_server_bench -j 2 >/dev/null

FIXTURE_OUT=$(mktemp)
build/release/bench/web_server_bench --serve 0 >"$FIXTURE_OUT" &
SERVER=$!
for _ in $(seq 100); do
  PORT=$(sed -n 's/^port \([0-9]*\)$/\1/p' "$FIXTURE_OUT")
  [ -n "$PORT" ] && break
  sleep 0.1
done
rm -f "$FIXTURE_OUT"
[ -n "$PORT" ] || { kill $SERVER; echo "server did not start" >&2; exit 1; }
