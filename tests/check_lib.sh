# shellcheck shell=bash
# shellcheck disable=SC2154 # cli and root are the sourcing script's
# What the checks of dio-cli as it ships share; sourced, not run. Needs $cli
# (the program) and $root (a scratch folder); RUNNER runs the program ("wine").

# Runs dio-cli with the arguments; its standard output in $out, its standard
# error in $err, its status in $status.
run() {
  status=0
  # shellcheck disable=SC2086 # RUNNER: a command and its words
  OUT="$root/out" ERR="$root/err" again_if_hung 120 ${RUNNER:-} "$cli" "$@" || status=$?
  # Under qemu, Wine's crashing helpers write their noise, NUL bytes too, to the standard error.
  out="$(tr -d '\r\000' <"$root/out")" err="$(tr -d '\r\000' <"$root/err")"
}

# Fails the check unless the last run ended with the status and said the text.
expect() { # status, what
  if [ "$status" -ne "$1" ] || ! grep -qF -- "$2" <<<"$out$err"; then
    printf 'status %s\n%s\n%s\n' "$status" "$out" "$err" >&2
    echo "${check:-check}: $cli: expected status $1 and \"$2\"" >&2
    exit 1
  fi
}

# Starts dio-cli (natively) with the arguments, sends it the signal after the
# delay, and takes its output and status as run does.
stop() { # signal, seconds, arguments...
  local signal="$1" delay="$2" pid
  shift 2
  # Every signal at its default, as from a terminal: a script's background job
  # starts with SIGINT and SIGQUIT ignored, a harness may ignore SIGHUP (nohup),
  # and dio-cli keeps a signal ignored that was ignored when it started.
  env --default-signal "$cli" "$@" >"$root/out" 2>"$root/err" &
  pid=$!
  sleep "$delay"
  kill -s "$signal" "$pid"
  status=0
  wait "$pid" || status=$?
  out="$(cat "$root/out")" err="$(cat "$root/err")"
}
