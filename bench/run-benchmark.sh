#!/usr/bin/env bash
# End-to-end benchmark of backup creation and restoration against the usual command-line tools.
#   bench/run-benchmark.sh <size in MiB> [scratch folder]
# Generates a data folder of that size, then measures wall time, throughput and peak memory of
#   create:  ours | zip -0 -r -y, then openssl enc | tar cf - | openssl enc (streaming floor)
#   restore: ours | openssl enc -d, then unzip    | openssl enc -d | bsdtar -xf - (streaming floor)
# and prints the ratios ours/other (best wall time of TARN_BENCH_REPS runs, default 3; highest peak).
# Runs with a warm page cache; every output is synced to disk between runs so one run's write-back
# does not slow the next. Ours includes its fsync of the backup; the tools do not sync.
set -euo pipefail
size_mib=${1:?usage: run-benchmark.sh <size in MiB> [scratch folder]}
root=$(cd "$(dirname "$0")/.." && pwd)
cli="$root/build/bench/tarn-archive"
[[ -x $cli ]] || { echo "build first: ./scripts/build.sh" >&2; exit 1; }
scratch=$(mktemp -d "${2:-/tmp}/tarn-bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

password="Benchmark 1"
cd "$scratch"
mkdir src
echo "generating ${size_mib} MiB of data ..." >&2
python3 "$root/bench/make-data.py" src/Data "$size_mib"
data_bytes=$(du -sb src/Data | cut -f1)
files=$(find src/Data -type f | wc -l)
links=$(find src/Data -type l | wc -l)
find src/Data -type f -print0 | xargs -0 cat >/dev/null # warm the page cache
sync

reps=${TARN_BENCH_REPS:-3}
declare -A wall peak
measure() { # name, command... ; keeps the best wall time and the highest peak over the runs
    local name=$1 w p
    shift
    sync
    /usr/bin/time -f "%e %M" -o time.txt "$@"
    read -r w p <time.txt
    if [[ -z ${wall[$name]:-} ]] || awk -v a="$w" -v b="${wall[$name]}" 'BEGIN { exit !(a < b) }'; then
        wall[$name]=$w
    fi
    if [[ -z ${peak[$name]:-} ]] || ((p > peak[$name])); then
        peak[$name]=$p
    fi
    sync
}
enc=(openssl enc -aes-256-cbc -pbkdf2 -iter 10000 -md sha256 -pass "pass:$password")

# Runs alternate between the tools, so file-system state left by one run weighs on all alike.
for ((rep = 1; rep <= reps; rep++)); do
    echo "create, run $rep of $reps ..." >&2
    rm -rf out tools.zip tools.enc floor.enc
    sync
    measure create_ours "$cli" create "$scratch/src/Data" "$scratch/out" "$password"
    measure create_tools bash -c "cd src && zip -0 -r -y -q ../tools.zip Data && cd .. && ${enc[*]@Q} -in tools.zip -out tools.enc"
    measure create_floor bash -c "tar -C src -cf - Data | ${enc[*]@Q} -out floor.enc"
done
backup=$(ls out/Backup_*.orlwen)
backup_bytes=$(stat -c %s "$backup")
rm -f tools.zip

for ((rep = 1; rep <= reps; rep++)); do
    echo "restore, run $rep of $reps ..." >&2
    rm -rf r_ours r_tools r_floor tools.zip
    mkdir -p r_ours r_tools r_floor
    sync
    measure restore_ours "$cli" restore "$scratch/$backup" "$scratch/r_ours" "$password"
    measure restore_tools bash -c "${enc[*]@Q} -d -in tools.enc -out tools.zip && unzip -q tools.zip -d r_tools"
    measure restore_floor bash -c "${enc[*]@Q} -d -in floor.enc | bsdtar -xf - -C r_floor"
done

diff -r --no-dereference src/Data r_ours/Data >/dev/null || { echo "restored tree differs!" >&2; exit 1; }

mib=$((1024 * 1024))
printf '\ndata: %d MiB in %d files and %d links; backup %d MiB\n\n' $((data_bytes / mib)) "$files" "$links" \
    $((backup_bytes / mib))
printf '%-9s %-38s %9s %10s %10s %12s\n' step tool seconds "MiB/s" "peak MiB" "ours/other"
row() { # step, label, key, ours key
    awk -v step="$1" -v label="$2" -v s="${wall[$3]}" -v o="${wall[$4]}" -v b="$data_bytes" -v p="${peak[$3]}" \
        -v same="$([[ $3 == "$4" ]] && echo 1 || echo 0)" 'BEGIN {
        ratio = same ? "" : sprintf("%.2f", o / (s > 0 ? s : 0.001))
        printf "%-9s %-38s %9.2f %10.0f %10.1f %12s\n", step, label, s, b / 1048576 / (s > 0 ? s : 0.001), p / 1024, ratio
    }'
}
row create "ours" create_ours create_ours
row create "zip -0 -r -y, then openssl enc" create_tools create_ours
row create "tar | openssl enc (floor)" create_floor create_ours
row restore "ours" restore_ours restore_ours
row restore "openssl enc -d, then unzip" restore_tools restore_ours
row restore "openssl enc -d | bsdtar -x (floor)" restore_floor restore_ours
