#!/usr/bin/env bash
# Mutation check of the modules whose bytes are fixed: each candidate change
# (relational, arithmetic and logical operators, integer constants off by one, a
# character dropped from an escape set) is applied alone, the test programs of its
# module are rebuilt and run, and the file is restored. A change that no test
# notices is a survivor; one that does not compile is counted apart.
#
#   scripts/mutate.sh [group...]      groups: url cookies base64 md5 dates conv xml digest
#                                     (default: all of them)
#   MUTATE_MAX=N        at most N changes (default 200), a fixed sample spread evenly over
#                       the files; the same sources always give the same sample
#   MUTATE_TIMEOUT=S    seconds per test program run (default: five times its unchanged
#                       run plus 10; a change that runs longer counts as caught)
#   MUTATE_LIST=1       only list the sampled changes, build and run nothing
#   MUTATE_SANITIZE=1   build with AddressSanitizer and UndefinedBehaviorSanitizer, like the
#                       test command's second build, so that a change making a test write
#                       or read out of bounds counts as caught (several times slower)
#   MUTATE_BUILD=DIR    build directory (default build/mutate, build/mutate-asan with
#                       the sanitizers)
#
# Known equivalent changes are listed in scripts/mutate-equivalent.txt and skipped;
# those marked "asan:" there are skipped only without the sanitizers.
# Outside the test command: it takes minutes per dozen changes.
set -u

root=$(cd "$(dirname "$0")/.." && pwd)
sanitize=${MUTATE_SANITIZE:-0}
if [[ $sanitize == 0 ]]; then
    build=${MUTATE_BUILD:-$root/build/mutate}
else
    build=${MUTATE_BUILD:-$root/build/mutate-asan}
fi
max=${MUTATE_MAX:-200}
equivalent=$root/scripts/mutate-equivalent.txt

declare -A FILES TESTS
FILES[url]="http/qzurl_encode.cpp http/qzurl.cpp"
TESTS[url]="test_url_encode test_url_split"
FILES[cookies]="http/qzcookie.cpp"
TESTS[cookies]="test_cgi_response_modes"
FILES[base64]="http/qzbase64.cpp"
TESTS[base64]="test_auth_primitives test_auth_authorization"
FILES[md5]="http/qzmd5.cpp"
TESTS[md5]="test_auth_primitives"
FILES[dates]="runtime/qzdate_calendar.cpp runtime/qzdate_format.cpp runtime/qzdate_parse.cpp runtime/qzdate_names.cpp"
TESTS[dates]="test_dates_calendar test_dates_format test_dates_parse test_dates_names"
FILES[conv]="xml/qzconv_copy.cpp xml/qzconv_decode.cpp xml/qzconv_encode.cpp xml/qzconv_table.cpp xml/qzconv_utf8table.cpp"
TESTS[conv]="test_conv_edges test_conv_tables test_xmlwriter_utf8"
FILES[xml]="xml/qzxml_output.cpp"
TESTS[xml]="test_xmlwriter_documents test_xmlwriter_errors test_xmlwriter_utf8"
FILES[digest]="http/qzhttpauthentication_digest.cpp"
TESTS[digest]="test_auth_authorization test_auth_challenge test_auth_primitives"
ALL="url cookies base64 md5 dates conv xml digest"

groups=${*:-$ALL}
declare -A TESTS_OF_FILE
files=()
for g in $groups; do
    if [[ -z ${FILES[$g]+set} ]]; then
        echo "mutate.sh: unknown group '$g' (known: $ALL)" >&2
        exit 2
    fi
    for f in ${FILES[$g]}; do
        files+=("$f")
        TESTS_OF_FILE[$f]="${TESTS_OF_FILE[$f]:-} ${TESTS[$g]}"
    done
done

cd "$root" || exit 2
diff_before=$(git -C "$root" diff -- "${files[@]}" | sha1sum)
mkdir -p "$build"
work=$build/mutate-work
mkdir -p "$work"

# The candidates, then a fixed sample: each file's candidates in the order of a
# hash of their text, the files taken in turn, the first MUTATE_MAX kept, and
# those run in file and line order (so one file is rebuilt after the other).
python3 "$root/scripts/mutate.py" list "${files[@]}" > "$work/all.tsv" || exit 2
python3 - "$work/all.tsv" "$max" "$equivalent" "$sanitize" > "$work/sample.tsv" <<'EOF'
import hashlib, sys
rows = [l.rstrip("\n").split("\t") for l in open(sys.argv[1], encoding="latin-1") if l.strip()]
known = set()
try:
    for l in open(sys.argv[3], encoding="latin-1"):
        l = l.rstrip("\n")
        if l.startswith("asan: "):  # seen only by the sanitizers: skipped without them
            if sys.argv[4] == "0":
                known.add(l[len("asan: "):])
        elif l and not l.startswith("#"):
            known.add(l)
except FileNotFoundError:
    pass
def key(r):  # file | original -> mutated #occurrence | line text
    return "%s | %s -> %s #%s | %s" % (r[0], r[3], r[4], r[5], r[6])
skipped = [r for r in rows if key(r) in known]
rows = [r for r in rows if key(r) not in known]
by_file = {}
for r in rows:
    by_file.setdefault(r[0], []).append(r)
for f in by_file:
    by_file[f].sort(key=lambda r: hashlib.sha1(key(r).encode("latin-1")).hexdigest())
picked, i = [], 0
order = sorted(by_file)
while len(picked) < int(sys.argv[2]) and any(i < len(by_file[f]) for f in order):
    for f in order:
        if i < len(by_file[f]) and len(picked) < int(sys.argv[2]):
            picked.append(by_file[f][i])
    i += 1
picked.sort(key=lambda r: (r[0], int(r[1]), int(r[2]), r[4]))
sys.stderr.write("candidates: %d, known equivalent skipped: %d, sampled: %d\n"
                 % (len(rows) + len(skipped), len(skipped), len(picked)))
for r in picked:
    print("\t".join(r))
EOF
[[ $? -eq 0 ]] || exit 2

if [[ -n ${MUTATE_LIST:-} ]]; then
    cut -f1-5 "$work/sample.tsv" | tr '\t' ' '
    exit 0
fi

if [[ ! -f $build/build.ninja ]]; then
    sanitizer=OFF
    [[ $sanitize == 0 ]] || sanitizer=ON
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQZ_SANITIZE=$sanitizer \
        -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
        -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST > "$work/configure.log" 2>&1 ||
        { echo "mutate.sh: configure failed, see $work/configure.log" >&2; exit 2; }
fi

current=""  # the file under change, restored on any exit
restore() {
    if [[ -n $current ]]; then
        cp "$work/original" "$root/$current"  # a new time stamp: the next build recompiles it
        current=""
    fi
}
trap 'restore' EXIT
trap 'restore; exit 130' INT TERM

declare -A LIMIT  # seconds per test program
run_tests() {  # test programs...; 0 when all pass
    local t
    for t in "$@"; do
        (cd "$build/tests" && QZ_SOURCE_DIR=$root QZ_BINARY_DIR=$build \
            ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
            timeout -k 5 "${LIMIT[$t]:-600}" "./$t" --gtest_brief=1 > "$work/run.log" 2>&1) || return 1
    done
    return 0
}

# Every test program unchanged must build and pass, or nothing can be judged.
all_tests=$(printf '%s\n' ${TESTS_OF_FILE[@]} | sort -u | tr '\n' ' ')
echo "baseline: building and running $all_tests"
cmake --build "$build" -j2 --target $all_tests > "$work/build.log" 2>&1 ||
    { echo "mutate.sh: the unchanged sources do not build, see $work/build.log" >&2; exit 2; }
for t in $all_tests; do
    started=$(date +%s%N)
    run_tests "$t" || { echo "mutate.sh: the unchanged $t fails, see $work/run.log" >&2; exit 2; }
    took=$(( ($(date +%s%N) - started) / 1000000000 ))
    LIMIT[$t]=${MUTATE_TIMEOUT:-$((5 * took + 10))}
done

caught=0 survived=0 broken=0 n=0
total=$(wc -l < "$work/sample.tsv")
: > "$work/survivors.txt"
: > "$work/results.tsv"
while IFS=$'\t' read -r file line col orig mut occ text; do
    n=$((n + 1))
    cp "$root/$file" "$work/original"
    current=$file
    if ! python3 "$root/scripts/mutate.py" apply "$file" "$line" "$col" "$orig" "$mut"; then
        restore
        continue
    fi
    tests=$(printf '%s\n' ${TESTS_OF_FILE[$file]} | sort -u | tr '\n' ' ')
    label="$file:$line: $orig -> $mut  ($text)"
    # shellcheck disable=SC2086
    if ! cmake --build "$build" -j2 --target $tests > "$work/build.log" 2>&1; then
        status=broken
        broken=$((broken + 1))
    elif run_tests $tests; then
        status=survived
        survived=$((survived + 1))
        echo "$label" >> "$work/survivors.txt"
        echo "$file | $orig -> $mut #$occ | $text" >> "$work/survivors.txt"
    else
        status=caught
        caught=$((caught + 1))
    fi
    restore
    printf '%s\t%s\n' "$status" "$label" >> "$work/results.tsv"
    printf '[%d/%d] %-8s %s\n' "$n" "$total" "$status" "$label"
done < "$work/sample.tsv"

# Leave the build matching the restored sources.
cmake --build "$build" -j2 --target $all_tests > "$work/build.log" 2>&1

echo
echo "survivors (file:line: original -> mutated, then the line for $(basename "$equivalent")):"
sed 's/^/  /' "$work/survivors.txt"
judged=$((caught + survived))
if ((judged > 0)); then
    score=$(awk -v c=$caught -v j=$judged 'BEGIN { printf "%.1f", 100 * c / j }')
else
    score=0
fi
echo "caught $caught, survived $survived, did not compile $broken"
echo "score: $caught/$judged = $score%"
if [[ $(git -C "$root" diff -- "${files[@]}" | sha1sum) != "$diff_before" ]]; then
    echo "mutate.sh: git diff of the sources changed while mutating:" >&2
    git -C "$root" diff --stat -- "${files[@]}" >&2
    exit 2
fi
echo "sources restored (git diff of the ${#files[@]} files as before the run)"
