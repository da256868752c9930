#!/usr/bin/env bash
# End-to-end benchmark of backup creation and restoration against the usual command-line tools.
#   bench/run-benchmark.sh <size in MiB> [scratch folder]
# Generates a data folder of that size, then measures wall time, throughput and peak memory of
#   create:  ours | zip -0 -r -y, then openssl enc | tar cf - | openssl enc
#            | openssl enc of a file of the backup's size, page cache to /dev/null (limit)
#   restore: ours | openssl enc -d, then unzip | openssl enc -d | bsdtar -xf -
#            | openssl enc -d | bsdtar -xf -, then sync (limit)
# and prints the ratios ours/other (best wall time of TARN_BENCH_REPS runs, default 3; highest peak).
# The limits are what no implementation can beat: CBC encryption cannot be split across cores, so
# no create is faster than the cipher alone; a restore that reports success must have its files on
# disk, so the restore limit pays for the sync as ours does.
# Runs with a warm page cache; every output is synced to disk between runs so one run's write-back
# does not slow the next. Ours includes its fsync of the backup; the other tools do not sync.
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
# The cipher alone: a raw key, no key derivation, large buffers.
cipher=(openssl enc -aes-256-cbc -bufsize 1048576 -K "$(printf '%064d' 0)" -iv "$(printf '%032d' 0)")

# Runs alternate between the tools, so file-system state left by one run weighs on all alike, and
# each run starts with another tool: the first after the clean-up meets the most recently freed inodes.
rotated() { # run number, then "key command" pairs; measures each command, starting at a rotating place
    local rep=$1 n i
    shift
    local -a keys=() commands=()
    while (($#)); do
        keys+=("$1")
        commands+=("$2")
        shift 2
    done
    n=${#keys[@]}
    for ((i = 0; i < n; i++)); do
        local k=$(((rep - 1 + i) % n))
        measure "${keys[k]}" bash -c "${commands[k]}"
    done
}
for ((rep = 1; rep <= reps; rep++)); do
    echo "create, run $rep of $reps ..." >&2
    rm -rf out tools.zip tools.enc pipe.enc
    sync
    rotated "$rep" \
        create_ours "${cli@Q} create ${scratch@Q}/src/Data ${scratch@Q}/out ${password@Q}" \
        create_tools "cd src && zip -0 -r -y -q ../tools.zip Data && cd .. && ${enc[*]@Q} -in tools.zip -out tools.enc" \
        create_pipe "tar -C src -cf - Data | ${enc[*]@Q} -out pipe.enc"
done
backup=$(ls out/Backup_*.orlwen)
backup_bytes=$(stat -c %s "$backup")
cat "$backup" >/dev/null # in the page cache, as the data folder is
for ((rep = 1; rep <= reps; rep++)); do
    measure create_limit "${cipher[@]}" -in "$backup" -out /dev/null
done
rm -f tools.zip

for ((rep = 1; rep <= reps; rep++)); do
    echo "restore, run $rep of $reps ..." >&2
    rm -rf r_ours r_tools r_pipe r_limit tools.zip
    mkdir -p r_ours r_tools r_pipe r_limit
    sync
    rotated "$rep" \
        restore_ours "${cli@Q} restore ${scratch@Q}/${backup@Q} ${scratch@Q}/r_ours ${password@Q}" \
        restore_tools "${enc[*]@Q} -d -in tools.enc -out tools.zip && unzip -q tools.zip -d r_tools" \
        restore_pipe "${enc[*]@Q} -d -in pipe.enc | bsdtar -xf - -C r_pipe" \
        restore_limit "${enc[*]@Q} -d -in pipe.enc | bsdtar -xf - -C r_limit && sync"
done

diff -r --no-dereference src/Data r_ours/Data >/dev/null || { echo "restored tree differs!" >&2; exit 1; }

mib=$((1024 * 1024))
printf '\ndata: %d MiB in %d files and %d links; backup %d MiB\n\n' $((data_bytes / mib)) "$files" "$links" \
    $((backup_bytes / mib))
printf '%-9s %-42s %9s %10s %10s %12s\n' step tool seconds "MiB/s" "peak MiB" "ours/other"
row() { # step, label, key, ours key
    awk -v step="$1" -v label="$2" -v s="${wall[$3]}" -v o="${wall[$4]}" -v b="$data_bytes" -v p="${peak[$3]}" \
        -v same="$([[ $3 == "$4" ]] && echo 1 || echo 0)" 'BEGIN {
        ratio = same ? "" : sprintf("%.2f", o / (s > 0 ? s : 0.001))
        printf "%-9s %-42s %9.2f %10.0f %10.1f %12s\n", step, label, s, b / 1048576 / (s > 0 ? s : 0.001), p / 1024, ratio
    }'
}
row create "ours" create_ours create_ours
row create "zip -0 -r -y, then openssl enc" create_tools create_ours
row create "tar | openssl enc" create_pipe create_ours
row create "openssl enc, cache to /dev/null (limit)" create_limit create_ours
row restore "ours" restore_ours restore_ours
row restore "openssl enc -d, then unzip" restore_tools restore_ours
row restore "openssl enc -d | bsdtar -x" restore_pipe restore_ours
row restore "openssl enc -d | bsdtar -x; sync (limit)" restore_limit restore_ours
