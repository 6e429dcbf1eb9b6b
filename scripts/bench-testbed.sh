# Sourced by the benchmarks, with the build targets they need in bench_targets and their arguments:
#   bench_targets=(vestrolan-cli vestrolan-devsim); . "$here/scripts/bench-testbed.sh" "$@"
# Outside the test network it builds those targets (in VST_BENCH_BUILD, default build) and runs the
# calling script again inside a test network of its own (tests/integration/testbed.sh); inside, it
# stops with the reason when the network could not be made. It sets `build` and offers
# stop_simulator for the simulator whose process is in `simulator`.
build=${VST_BENCH_BUILD:-"$here/build"}
if [ -z "${VST_INSIDE_TESTBED:-}" ]; then
  bench_build_targets=()
  for target in "${bench_targets[@]}"; do bench_build_targets+=(--target "$target"); done
  "$here/scripts/build.sh" "$build" "${bench_build_targets[@]}" >/dev/null
  exec "$here/tests/integration/testbed.sh" "$0" "$@"
fi
if [ -n "${VST_TESTBED_UNAVAILABLE:-}" ]; then
  echo "The test network cannot be made here: $VST_TESTBED_UNAVAILABLE" >&2
  exit 1
fi

simulator=
stop_simulator() {
  if [ -n "$simulator" ]; then kill "$simulator" 2>/dev/null; wait "$simulator" 2>/dev/null || true; fi
  simulator=
}
