# Shared by scripts/run and scripts/screenshot: the example catalogue database.
#
#   make_example_database WORK BIN   prints the database's path on stdout
#
# Copies examples/media into WORK/media and catalogues it, with its TTH values, into
# WORK/Example.qrl through quarrane-cli and the synchronizer in BIN. The caller sets
# QUARRANE_RUNTIME_DIR so that the example's synchronizer meets no other, and waits for it to end
# (wait_for_example_synchronizer) before removing WORK.
make_example_database() {
  local work=$1 bin=$2
  cp -r examples/media "$work/media"
  "$bin/quarrane-cli" new "$work/Example.qrl" >&2
  "$bin/quarrane-cli" add-catalogue "$work/Example.qrl" --name "Example media" --location "$work/media" \
    --update-tth >/dev/null
  echo "$work/Example.qrl"
}

# The synchronizer ends a few seconds after its last request; its folder goes once it has.
wait_for_example_synchronizer() {
  local run=$1
  for _ in $(seq 50); do [ -e "$run/QuarraneSynch.lock" ] || break; sleep 0.2; done
}
