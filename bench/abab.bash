# Side-by-side measurement for the shell benchmarks (sourced): the project's command and
# its peer run alternately, and the report is the median of the per-pair ratios with
# their spread, in the same RESULT line as the C++ benchmarks print (bench/bench_abab.h):
#   RESULT|<what>|<peer>|<ours median s>|<peer median s>|<ratio median>|<ratio min>|<ratio max>|<runs>|<goal>

abab_now_us() { echo $(( $(date +%s%N) / 1000 )); }

# abab_time VAR CMD...: runs CMD and appends its wall time in microseconds to array VAR.
abab_time() {
  local -n _into=$1; shift
  local t0 t1
  t0=$(abab_now_us); "$@"; t1=$(abab_now_us)
  _into+=($(( t1 - t0 )))
}

# abab_wrk_cost VAR CHECK_LUA URL: one `wrk -t2 -c8 -d$DURATION` run against URL with
# the response check CHECK_LUA (write_wrk_check); appends its cost per request in µs to
# array VAR, and ends the benchmark when any response was wrong or failed.
abab_wrk_cost() {
  local -n _into=$1
  local out rps
  out=$(wrk -t2 -c8 -d"$DURATION" -s "$2" "$3")
  grep -q '^wrong responses: 0$' <<<"$out" || { echo "$3: wrong responses under load" >&2; echo "$out" >&2; exit 1; }
  grep -q '^wrk: [0-9]* requests, 0 errors$' <<<"$out" || { echo "$3: errors under load" >&2; echo "$out" >&2; exit 1; }
  rps=$(sed -n 's/^Requests\/sec: *//p' <<<"$out")
  echo "     ${3%%\?*}: $rps requests/s"
  _into+=("$(python3 -c "print(round(1e6 / $rps, 3))")")
}

# abab_report WHAT PEER GOAL "ours µs list" "peer µs list"  (goal 0: no goal)
abab_report() {
  local what=$1 peer=$2 goal=$3 ours=$4 theirs=$5
  awk -v what="$what" -v peer="$peer" -v goal="$goal" -v a="$ours" -v b="$theirs" '
    function median(arr, n,   i, j, t) {
      for (i = 2; i <= n; i++) { t = arr[i]; for (j = i - 1; j >= 1 && arr[j] > t; j--) arr[j+1] = arr[j]; arr[j+1] = t }
      return n % 2 ? arr[(n+1)/2] : (arr[n/2] + arr[n/2+1]) / 2
    }
    BEGIN {
      n = split(a, x, " "); m = split(b, y, " "); if (m < n) n = m
      k = 0
      for (i = 1; i <= n; i++) { ox[i] = x[i]; oy[i] = y[i]; if (y[i] > 0) r[++k] = x[i] / y[i] }
      lo = r[1]; hi = r[1]; for (i = 2; i <= k; i++) { if (r[i] < lo) lo = r[i]; if (r[i] > hi) hi = r[i] }
      ma = median(ox, n) / 1e6; mb = median(oy, n) / 1e6; mr = median(r, k)
      verdict = goal > 0 ? (mr <= goal ? "  goal met" : "  GOAL MISSED") : ""
      printf "%s vs %s: %d alternating runs, medians %.4f s vs %.4f s, ratio %.2fx (%.2f-%.2f)%s\n", what, peer, k, ma, mb, mr, lo, hi, verdict
      printf "RESULT|%s|%s|%.6f|%.6f|%.3f|%.3f|%.3f|%d|%.2f\n", what, peer, ma, mb, mr, lo, hi, k, goal
    }'
}
