# Helpers of the FastCGI tests (sourced after driver_lib.bash): a program
# started as a FastCGI application on a local socket, and requests sent to it
# and to the same program run as CGI, so that both answers can be compared
# byte for byte.

command -v cgi-fcgi >/dev/null || { echo "cgi-fcgi (libfcgi-bin) is not installed"; exit 1; }
FCGI_CLIENT="$QZ_SOURCE_DIR/tests/servers/fastcgi_client.py"

# fcgi_folder DIR CONFIG: DIR with the programs and that qzcfg.ini.
fcgi_folder() {
  mkdir -p "$1"
  cp "$QZ_BINARY_DIR/hwendle.exe" "$QZ_BINARY_DIR/programs/fastcgi_request_echo" "$1/"
  printf '%b' "$2" > "$1/qzcfg.ini"
}

# fcgi_start DIR PROGRAM: PROGRAM --fastcgi DIR/PROGRAM.sock in DIR; the
# supervisor's pid goes to DIR/PROGRAM.pid.
fcgi_start() {
  local dir=$1 program=$2
  rm -f "$dir/$program.sock"
  (cd "$dir" && exec "./$program" --fastcgi "$dir/$program.sock" 2>>"$dir/stderr.log") &
  echo $! > "$dir/$program.pid"
  for _ in $(seq 100); do [ -S "$dir/$program.sock" ] && return 0; sleep 0.05; done
  echo "$program did not start listening" >&2
  return 1
}

fcgi_stop() {  # DIR PROGRAM
  local pid
  pid=$(cat "$1/$2.pid" 2>/dev/null) || return 0
  kill "$pid" 2>/dev/null
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.05; done
  kill -9 "$pid" 2>/dev/null
}

fcgi_workers() {  # DIR PROGRAM: the pids of the supervisor's workers
  pgrep -P "$(cat "$1/$2.pid")" | sort | tr '\n' ' '
}

# as_cgi DIR PROGRAM BODYFILE VAR=VALUE...: the CGI run's output.
as_cgi() {
  local dir=$1 program=$2 body=$3; shift 3
  (cd "$dir" && env -i "$@" "./$program" < "$body")
}

# as_fcgi DIR PROGRAM BODYFILE VAR=VALUE...: the same request to the FastCGI process.
as_fcgi() {
  local dir=$1 program=$2 body=$3; shift 3
  env -i "$@" cgi-fcgi -bind -connect "$dir/$program.sock" < "$body"
}

# same_answer NAME PROGRAM BODYFILE VAR=VALUE...: both modes answer the same bytes.
# Uses $CGI_DIR and $FCGI_DIR.
same_answer() {
  local name=$1 program=$2 body=$3; shift 3
  as_cgi "$CGI_DIR" "$program" "$body" "$@" > "$CGI_DIR/answer" 2>/dev/null
  as_fcgi "$FCGI_DIR" "$program" "$body" "$@" > "$FCGI_DIR/answer" 2>/dev/null
  if cmp -s "$CGI_DIR/answer" "$FCGI_DIR/answer" && [ -s "$CGI_DIR/answer" ]; then
    echo "ok   $name"
  else
    echo "FAIL $name"
    diff <(od -c "$CGI_DIR/answer") <(od -c "$FCGI_DIR/answer") | head -10
    FAILURES=$((FAILURES + 1))
  fi
}

# The trace lines of a trace file without the process ids, the headers and
# the addresses of records (which differ from one process to the next). The
# lines of a database being opened are left out too: the persistent mode
# opens it once per process, which is the point of the mode.
trace_lines() {
  sed -E '/^=========== /d; s/^[0-9]{11} //; s/0x[0-9a-f]+/ADDRESS/g
          /^(SQLite database .* opened|ODBC data source .* connected, .*)$/d' "$1"
}
