# Sourced by the run and demonstration scripts: the folder where the demonstrations keep what
# should outlive a run (the simulator's state, the settings, the production records), in the
# user's cache: $XDG_CACHE_HOME/vestrolan, ~/.cache/vestrolan when that is unset or not an
# absolute path.
demo_folder() {
  local base=${XDG_CACHE_HOME:-}
  case "$base" in
    /*) ;;
    *) base=${HOME:?neither XDG_CACHE_HOME nor HOME is set}/.cache ;;
  esac
  printf '%s\n' "$base/vestrolan"
}
