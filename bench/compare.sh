#!/usr/bin/env bash
# Times tsubo against the other LZH tools and gzip on one reproducible corpus,
# and against gzip on two adversarial inputs (random letters), interleaved,
# best of several runs, and prints MB/s and ratios.
#
#   bench/compare.sh [--tsubo PATH] [--runs N] [--work DIR] [--skip-scale] [--skip-memory]
#
# Needs: 7zip, libarchive-tools, lhasa, gzip, pigz, libdeflate-tools (Debian packages).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
tsubo="$here/build/tsubo"
runs=3
work=/tmp/tsubo-bench
do_scale=1
do_memory=1
while [ $# -gt 0 ]; do
  case "$1" in
    --tsubo) tsubo=$(realpath "$2"); shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --skip-scale) do_scale=0; shift ;;
    --skip-memory) do_memory=0; shift ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
done
[ -x "$tsubo" ] || { echo "no tsubo at $tsubo (build it first)" >&2; exit 2; }
for tool in 7zz bsdtar lhasa gzip perl; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 2; }
done
export LC_ALL=C TZ=UTC
mkdir -p "$work"
cd "$work"

# ---- corpus: ~50 MB of C headers, shared libraries and seeded random bytes --
make_corpus() {
  rm -rf corpus && mkdir -p corpus/include corpus/lib corpus/random
  local budget n=0 f size total=0
  budget=$((22 * 1024 * 1024))
  while IFS= read -r f; do
    size=$(stat -c %s "$f")
    [ $((total + size)) -le "$budget" ] || break
    n=$((n + 1))
    cp "$f" "corpus/include/$(printf '%05d' "$n").h"
    total=$((total + size))
  done < <(find /usr/include -type f -name '*.h' -size -256k | LC_ALL=C sort)
  budget=$((20 * 1024 * 1024)) total=0 n=0
  while IFS= read -r f; do
    size=$(stat -c %s "$f")
    [ $((total + size)) -le "$budget" ] || continue
    n=$((n + 1))
    cp "$f" "corpus/lib/$(printf '%04d' "$n").so"
    total=$((total + size))
  done < <(find /usr/lib/x86_64-linux-gnu /usr/lib -maxdepth 1 -type f -name '*.so*' -size -4M 2>/dev/null | LC_ALL=C sort -u)
  perl -e 'srand(20261208); for my $i (1..8) { open(my $o, ">", sprintf("corpus/random/r%d.bin", $i)) or die; binmode $o;
           print $o pack("L*", map { int(rand(4294967296)) } 1..262144); close $o }'
  find corpus -type f | LC_ALL=C sort | xargs cat > corpus.bin
}
[ -f corpus.bin ] || make_corpus
# ---- adversarial inputs: 4 MiB of seeded random letters ----------------------
make_letters() {  # make_letters FILE SEED LETTERS
  perl -e 'my ($seed, $letters) = @ARGV; srand($seed); my @l = split //, $letters;
           print join("", map { $l[int(rand(@l))] } 1..4194304)' "$2" "$3" > "$1"
}
[ -f letters-ab.txt ] || make_letters letters-ab.txt 20261209 AB
[ -f letters-acgt.txt ] || make_letters letters-acgt.txt 20261210 ACGT
corpus_bytes=$(stat -c %s corpus.bin)
corpus_mb=$(awk -v b="$corpus_bytes" 'BEGIN { printf "%.1f", b / 1048576 }')

# ---- timing helpers ------------------------------------------------------
# The clock is read without starting a process ($EPOCHREALTIME, in
# microseconds), so a short command's time holds no start-up of `date`.
declare -A best
time_cmd() {  # time_cmd KEY command...  (keeps the best wall time in ns)
  local key=$1; shift
  local t0 t1 dt
  t0=${EPOCHREALTIME/./}
  "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  t1=${EPOCHREALTIME/./}
  dt=$(((10#$t1 - 10#$t0) * 1000))
  if [ -z "${best[$key]:-}" ] || [ "$dt" -lt "${best[$key]}" ]; then best[$key]=$dt; fi
}
# Runs a command in a directory: a subshell, not a second shell to start.
in_dir() { (cd "$1" && shift && exec "$@"); }
mbps() { awk -v b="$corpus_bytes" -v ns="${best[$1]}" 'BEGIN { printf "%8.1f", b / 1048576 / (ns / 1e9) }'; }
secs() { awk -v ns="${best[$1]}" 'BEGIN { printf "%7.3f", ns / 1e9 }'; }
ratio() { awk -v a="${best[$1]}" -v b="${best[$2]}" 'BEGIN { printf "%.2f", a / b }'; }

# ---- archives of the corpus --------------------------------------------
for m in 2 4; do
  rm -f "corpus-o$m.lzh"
  (cd corpus && "$tsubo" a -n2 -r2 -x -o$m "$work/corpus-o$m.lzh" '*' >/dev/null)
done

echo "tsubo benchmark: corpus $corpus_mb MB ($(find corpus -type f | wc -l) files), best of $runs runs, $(date -u +%Y-%m-%d)"
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo

# ---- decode: t on -lh5- and -lh7- archives -------------------------------
for r in $(seq "$runs"); do
  for m in 2 4; do
    time_cmd "tsubo-t-$m" "$tsubo" t -n2 "corpus-o$m.lzh"
    time_cmd "bsdtar-$m" bsdtar -xOf "corpus-o$m.lzh"
    time_cmd "7zz-$m" 7zz t "corpus-o$m.lzh"
    time_cmd "lhasa-$m" lhasa t "corpus-o$m.lzh"
  done
done
echo "Decode (test every member)           time s     MB/s   tsubo faster by"
for m in 2 4; do
  method=$([ $m = 2 ] && echo lh5 || echo lh7)
  fastest=""
  for tool in bsdtar 7zz lhasa; do
    if [ -z "$fastest" ] || [ "${best[$tool-$m]}" -lt "${best[$fastest-$m]}" ]; then fastest=$tool; fi
  done
  printf '  %-34s %s %s\n' "tsubo t (-$method-)" "$(secs tsubo-t-$m)" "$(mbps tsubo-t-$m)"
  for tool in bsdtar 7zz lhasa; do
    printf '  %-34s %s %s   %sx\n' "$tool (-$method-)" "$(secs $tool-$m)" "$(mbps $tool-$m)" "$(ratio $tool-$m tsubo-t-$m)"
  done
  echo "  => -$method-: tsubo is $(ratio "$fastest-$m" tsubo-t-$m)x the fastest other reader ($fastest)"
done
echo

# ---- old methods: t on -lh1-, -lzs-, -lz5- against lhasa --------------------
# The archives (4 MiB of C headers, and of random bytes) come from the test
# encoders through the old-method benchmark of a build with -DTSUBO_BENCH=ON.
old_bench="$(dirname "$tsubo")/bench/old_methods_bench"
if [ -x "$old_bench" ]; then
  TMPDIR="$work" "$old_bench" --benchmark_min_time=0.01 >/dev/null 2>&1 || true
  for r in $(seq "$runs"); do
    for m in lh1 lzs lz5; do
      for kind in text random; do
        time_cmd "old-tsubo-$m-$kind" "$tsubo" t -n2 "tsubo_old_${m}_$kind.lzh"
        time_cmd "old-lhasa-$m-$kind" lhasa t "tsubo_old_${m}_$kind.lzh"
      done
    done
  done
  echo "Old methods (test 4 MiB; budget: at least as fast as lhasa)   tsubo s   lhasa s   tsubo faster by"
  for m in lh1 lzs lz5; do
    for kind in text random; do
      printf '  %-58s %s   %s   %sx\n' "-$m- ($kind)" "$(secs old-tsubo-$m-$kind)" \
        "$(secs old-lhasa-$m-$kind)" "$(ratio old-lhasa-$m-$kind old-tsubo-$m-$kind)"
    done
  done
else
  echo "Old methods: skipped (build with -DTSUBO_BENCH=ON for $old_bench)"
fi
echo

# ---- encode: a -o2/-o3/-o4 (default workers) against gzip -6 ---------------
for r in $(seq "$runs"); do
  time_cmd gzip gzip -6 -c corpus.bin
  for m in 2 3 4; do
    rm -f "enc-o$m.lzh"
    time_cmd "tsubo-a-$m" in_dir corpus "$tsubo" a -n2 -r2 -x -o$m "$work/enc-o$m.lzh" '*'
  done
done
gzip_size=$(gzip -6 -c corpus.bin | wc -c)
echo "Encode (tsubo: one worker per core)  time s     MB/s   speed vs gzip -6   size"
printf '  %-34s %s %s   %-16s %s\n' "gzip -6" "$(secs gzip)" "$(mbps gzip)" "1.00" "$gzip_size"
for m in 2 3 4; do
  printf '  %-34s %s %s   %-16s %s\n' "tsubo a -o$m" "$(secs tsubo-a-$m)" "$(mbps tsubo-a-$m)" \
    "$(ratio gzip tsubo-a-$m)" "$(stat -c %s enc-o$m.lzh)"
done
echo

# ---- hostile input: a few packed bytes that claim 4 GiB ------------------------
# The member's original size is raised to 4 GiB - 1 after the fact; decoding
# must stop where its packed bytes end (budget: 10 ms).
if [ ! -f bomb.lzh ]; then
  printf 'tsubo tsubo tsubo tsubo tsubo tsubo\n' > bomb.txt
  "$tsubo" a -n2 -o2 bomb.lzh bomb.txt >/dev/null
  perl -e 'open(my $f, "+<", "bomb.lzh") or die; binmode $f; seek($f, 11, 0); print $f pack("V", 0xFFFFFFFF)'
fi
for r in $(seq "$runs"); do
  time_cmd bomb-t sh -c "'$tsubo' t -n2 bomb.lzh; true"
  time_cmd bomb-sh sh -c "true; true"
done
echo "Hostile input ($(stat -c %s bomb.lzh)-byte archive, member claims 4 GiB; budget: 10 ms)"
printf '  tsubo t: %s ms (shell start-up of %s ms taken off)\n' \
  "$(awk -v a="${best[bomb-t]}" -v b="${best[bomb-sh]}" 'BEGIN { printf "%.1f", (a - b) / 1e6 }')" \
  "$(awk -v b="${best[bomb-sh]}" 'BEGIN { printf "%.1f", b / 1e6 }')"
echo

# ---- threads: the many-file corpus with one worker and with one per core ------
cores=$(nproc)
for r in $(seq "$runs"); do
  for t in 1 "$cores"; do
    rm -f "threads-$t.lzh"
    TSUBO_THREADS=$t time_cmd "threads-a-$t" in_dir corpus "$tsubo" a -n2 -r2 -x -o4 "$work/threads-$t.lzh" '*'
    TSUBO_THREADS=$t time_cmd "threads-t-$t" "$tsubo" t -n2 "threads-$t.lzh"
  done
done
cmp -s threads-1.lzh "threads-$cores.lzh" || { echo "threads: the archives differ" >&2; exit 1; }
echo "Threads (corpus, -o4; budget: at least 1.7x on 2 cores)   1 worker   $cores workers   faster by"
for op in a t; do
  printf '  tsubo %-52s %s    %s      %sx\n' "$op" "$(secs threads-$op-1)" \
    "$(secs threads-$op-$cores)" "$(ratio threads-$op-1 threads-$op-$cores)"
done
echo

# ---- one file: a -o4 against gzip, pigz and libdeflate ----------------------
head -c 52000000 corpus.bin > one.bin
for r in $(seq "$runs"); do
  time_cmd one-gzip gzip -6 -c one.bin
  command -v pigz >/dev/null && time_cmd one-pigz pigz -6 -c one.bin
  command -v libdeflate-gzip >/dev/null && time_cmd one-libdeflate libdeflate-gzip -6 -c one.bin
  rm -f one.lzh
  TSUBO_THREADS=1 time_cmd one-tsubo "$tsubo" a -n2 -o4 one.lzh one.bin
done
echo "One file of 52 MB                    time s   speed vs gzip -6 (budget: tsubo at least 1.0x)"
printf '  %-34s %s   %s\n' "gzip -6" "$(secs one-gzip)" "1.00"
[ -n "${best[one-pigz]:-}" ] && printf '  %-34s %s   %s\n' "pigz -6 ($cores threads)" "$(secs one-pigz)" "$(ratio one-gzip one-pigz)"
[ -n "${best[one-libdeflate]:-}" ] && printf '  %-34s %s   %s\n' "libdeflate-gzip -6" "$(secs one-libdeflate)" "$(ratio one-gzip one-libdeflate)"
printf '  %-34s %s   %s\n' "tsubo a -o4 (1 worker)" "$(secs one-tsubo)" "$(ratio one-gzip one-tsubo)"
echo

# ---- worst case: a -o2/-o3/-o4 of random letters against gzip -6 -------------
for r in $(seq "$runs"); do
  for f in ab acgt; do
    time_cmd "gzip-$f" gzip -6 -c "letters-$f.txt"
    for m in 2 3 4; do
      rm -f "letters-$f-o$m.lzh"
      TSUBO_THREADS=1 time_cmd "tsubo-$f-$m" "$tsubo" a -n2 -o$m "letters-$f-o$m.lzh" "letters-$f.txt"
    done
  done
done
echo "Worst case (4 MiB of random letters)  time s   time vs gzip -6 (budget: at most 2.00)"
for f in ab acgt; do
  label=$([ $f = ab ] && echo "{A,B}" || echo "{A,C,G,T}")
  printf '  %-34s %s\n' "gzip -6 $label" "$(secs gzip-$f)"
  for m in 2 3 4; do
    printf '  %-34s %s   %s\n' "tsubo a -o$m $label" "$(secs tsubo-$f-$m)" "$(ratio tsubo-$f-$m gzip-$f)"
  done
done
echo

# ---- scale: 10,000 against 100,000 small members ---------------------------
if [ "$do_scale" = 1 ]; then
  for count in 10000 100000; do
    dir="small-$count"
    if [ ! -d "$dir" ]; then
      mkdir -p "$dir"
      perl -e 'my ($d, $n) = @ARGV; for my $i (1..$n) { open(my $o, ">", sprintf("%s/f%06d.txt", $d, $i)) or die;
               print $o "member $i\n" x (1 + $i % 7); close $o }' "$dir" "$count"
    fi
  done
  echo "Scale (100,000 members against 10,000; budget: at most 12x)"
  for count in 10000 100000; do
    rm -f "scale-$count.lzh"
    time_cmd "scale-a-$count" in_dir "small-$count" "$tsubo" a -n2 "$work/scale-$count.lzh" '*'
    time_cmd "scale-l-$count" "$tsubo" l "scale-$count.lzh"
    time_cmd "scale-t-$count" "$tsubo" t -n2 "scale-$count.lzh"
    cp "scale-$count.lzh" "scale-d-$count.lzh"
    time_cmd "scale-d-$count" "$tsubo" d -n2 "scale-d-$count.lzh"
  done
  for op in a l t d; do
    printf '  %s   10,000: %s s   100,000: %s s   ratio %s\n' "$op" "$(secs scale-$op-10000)" \
      "$(secs scale-$op-100000)" "$(ratio scale-$op-100000 scale-$op-10000)"
  done
  echo
fi

# ---- memory: l and t of a million empty members --------------------------------
if [ "$do_memory" = 1 ]; then
  if [ ! -f million.lzh ]; then
    perl -e 'open(my $o, ">", "million.lzh") or die; binmode $o;
      for my $i (0 .. 999999) {
        my $name = sprintf("member%07d.txt", $i);
        my $ext = pack("C", 1) . $name . pack("v", 0);
        my $size = 26 + length($ext);
        print $o pack("v", $size) . "-lh0-" . pack("VVVCCvCv", 0, 0, 1700000000, 0x20, 2, 0, 77, length($ext)) . $ext;
      }
      print $o "\0"; close $o'
  fi
  peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1; }
  echo "Memory (1,000,000 empty members; budget: 150 MB peak resident)"
  echo "  tsubo l: $(peak "$tsubo" l -n2 million.lzh) KiB"
  echo "  tsubo t: $(peak "$tsubo" t -n2 million.lzh) KiB"
  command -v 7zz >/dev/null && echo "  7zz l:   $(peak 7zz l million.lzh) KiB"
  echo
fi

# ---- memory: peak resident size testing and extracting a 1 GiB member ------
if [ "$do_memory" = 1 ]; then
  if [ ! -f big.lzh ]; then
    mkdir -p big && rm -f big/member.bin
    # head closes the pipe once it has 1 GiB; the writer's SIGPIPE is expected.
    { for _ in $(seq 24); do cat corpus.bin; done; } 2>/dev/null | head -c 1073741824 > big/member.bin || true
    (cd big && "$tsubo" a -n2 -o4 "$work/big.lzh" member.bin >/dev/null)
    rm -f big/member.bin
  fi
  peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1; }
  rm -rf out && mkdir out
  echo "Memory (1 GiB -lh7- member; budget: 8 MiB peak resident)"
  echo "  tsubo t: $(peak "$tsubo" t -n2 big.lzh) KiB"
  echo "  tsubo e: $(peak "$tsubo" e -n2 -m big.lzh out/) KiB"
  rm -rf out
fi
