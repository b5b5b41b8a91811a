# shellcheck shell=bash
# Sourced by the desktop measurements: the reference service with demo data,
# a private X server with trayer as the notification area, and kestrel logged
# in as demo with its banner shown and its tray icon up.
#   start_desktop_session NAME BUILD-DIR CHANGE-INTERVAL-SECS
# sets $work (removed on exit) and $client (the client's pid); everything
# started is stopped on exit.

desktop_pids=()
stop_desktop_session() {
  for p in "${desktop_pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}

start_desktop_session() {
  local name="$1" build="$2" interval="$3"
  for tool in Xvfb trayer xdotool; do
    command -v "$tool" >/dev/null || { echo "$name: $tool is missing (scripts/setup installs it)" >&2; exit 1; }
  done
  work="$(mktemp -d -t "kestrel-$name.XXXXXX")"
  trap stop_desktop_session EXIT

  # The client knows the default ports only.
  "$build/service/kestrel-service" --demo --host 127.0.0.1 --change-interval "$interval" \
    --db "$work/service.sqlite" >"$work/service.log" 2>&1 &
  desktop_pids+=($!)
  for _ in $(seq 1 100); do grep -q '^data-port' "$work/service.log" && break; sleep 0.1; done
  grep -q '^data-port' "$work/service.log" || { echo "$name: the service did not start" >&2; cat "$work/service.log" >&2; exit 1; }

  exec 3<> <(:)
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  desktop_pids+=($!)
  local display
  read -r -t 10 display <&3 || { echo "$name: Xvfb did not start" >&2; exit 1; }
  export DISPLAY=":$display" DBUS_SESSION_BUS_ADDRESS=disabled: QT_QPA_PLATFORM=xcb
  trayer --edge top --align left --widthtype pixel --width 64 --heighttype pixel --height 32 >/dev/null 2>&1 &
  desktop_pids+=($!)
  sleep 1

  mkdir -p "$work/client"
  cp "$build/app/kestrel" "$work/client/"
  "$work/client/kestrel" >"$work/client.log" 2>&1 &
  client=$!
  desktop_pids+=("$client")
  for _ in $(seq 1 100); do xdotool search --name '登陆' >/dev/null 2>&1 && break; sleep 0.1; done
  local login
  login="$(xdotool search --name '登陆' | head -1)"
  xdotool windowactivate --sync "$login" 2>/dev/null || true
  xdotool type --delay 20 demo; xdotool key Tab; xdotool type --delay 20 demo123; xdotool key Return
  sleep 5
  xdotool search --name '账号:demo' >/dev/null 2>&1 || { echo "$name: the log-in did not finish" >&2; exit 1; }
}
