#!/usr/bin/env bash
# Times the four functions against their floors, bare programs in
# tools/bench/ that make the fewest platform calls giving the same files, and
# a refused call (the exe's own start) against a do-nothing GUI program. All
# are started alike by one launcher in one Wine prefix, interleaved, at 1, 10,
# 100 and 1000 devices, logging on and off; also a logged run that cuts a
# 1 GiB log against one that cuts a 60 KiB log, and the shipped exes' sizes.
# Prints one table of ratios of medians. A benchmark, not a test: no figure
# makes it fail; only a floor that leaves other files than the product does.
#
# Usage: tools/bench.sh, with these settings (defaults shown):
#   RUNS=11         runs of every job at up to 100 devices (three times as
#                   many for the two short runs of the log cut)
#   RUNS_1000=7     runs of every job at more than 100 devices
#   RUNS_SQUARE=3   runs of the logged MRemoveDS there: it walks the devices
#                   once per data source, so its log grows with the square
#                   of the devices (tens of MB a run at 1000)
#   SIZES="1 10 100 1000"   device counts; GENERIC_KIB=256, the generic module
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# On this kind of virtual machine, waking a process on the other CPU costs
# tens of ms at random: a do-nothing program took 9 to 14 ms with Wine on one
# CPU, 40 to 170 ms on two. So the bench and all it starts, the Wine server
# included, run on CPU 0.
if [ -z "${TIRN_BENCH_PINNED:-}" ] && command -v taskset >/dev/null 2>&1; then
    export TIRN_BENCH_PINNED=1
    exec taskset -c 0 "$0" "$@"
fi
. "$root/tools/wine-env.sh" || exit 2
runs=${RUNS:-11}
runs_1000=${RUNS_1000:-7}
runs_square=${RUNS_SQUARE:-3}
read -r -a sizes <<<"${SIZES:-1 10 100 1000}"
generic_kib=${GENERIC_KIB:-256}
build="$root/build"
began=$SECONDS

if [ -f "$build/x64/CMakeCache.txt" ] && [ -f "$build/x86/CMakeCache.txt" ]; then
    for arch in x86 x64; do
        cmake --build "$build/$arch" --target TIRNFuncts -- --no-print-directory -s
    done
else
    "$root/tools/build.sh"
fi

# The launcher (a console program, for its output) and the floors (GUI
# programs, started as the product is), rebuilt when their sources change.
bin="$build/bench"
mkdir -p "$bin"
for src in "$root"/tools/bench/*.c; do
    name=$(basename "$src" .c)
    exe="$bin/bench-$name.exe"
    if [ ! -f "$exe" ] || [ "$src" -nt "$exe" ] || [ "$root/tools/bench/bench.h" -nt "$exe" ]; then
        subsystem=-mwindows
        [ "$name" = launch ] && subsystem=-mconsole
        x86_64-w64-mingw32-gcc-posix -O2 -Wall -Wextra -static "$subsystem" -o "$exe" "$src" -lsetupapi -ladvapi32
    fi
done

# A server left running from before would not be on CPU 0.
prefix_stop "$build/bench-prefix"
wine_session "$build/bench-prefix"
mkdir -p "$drive_c/bench"
cp "$build/x64/TIRNFuncts.exe" "$bin"/bench-*.exe "$drive_c/bench/"
out="$WINEPREFIX/bench-out.txt"
generic="$WINEPREFIX/generic-module"
head -c $((generic_kib * 1024)) /dev/urandom >"$generic"

most=16
for n in "${sizes[@]}"; do [ "$n" -le "$most" ] || most=$n; done

# The registry of n bench devices 0000..n-1, each with CorvelCLSID and no
# TwainDSmodule (MAddDS serves it, MRemoveDS keeps its data source) and an
# InstallCLSID that AddDS and RemoveDS match, then the devices given as lines.
registry() {
    local n=$1 i id
    shift
    {
        reg_clear "$most"
        for ((i = 0; i < n; i++)); do
            printf -v id %04d "$i"
            reg_device "$id" "\"CorvelCLSID\"=\"{5A1C7B3E-$id-4000-8000-000000000000}\"" \
                "\"InstallCLSID\"=\"USB\\\\VID_04A9&PID_1909\\\\$id\""
        done
        printf '%s\n' "$@"
    } | reg_import
}

# twain_32 holding the generic module, and devices 0000..n-1 served: each
# has its directory with a copy of it as its data source.
served() {
    local n=$1 i id
    rm -rf "$twain"
    mkdir -p "$twain"
    cp "$generic" "$twain/zbxgnds2"
    for ((i = 0; i < n; i++)); do
        printf -v id %04d "$i"
        mkdir "$twain/vrtk_$id"
        cp "$generic" "$twain/vrtk_$id/vrtk_$id.ds"
    done
}

# Every run's time goes to build/bench-times.txt, to see the spread.
times="$build/bench-times.txt"
: >"$times"
launch() {   # [-cold] RUNS {PREP EXE COMMANDLINE}...; prints the medians
    # What the set-up wrote reaches the disk before the timing starts.
    sync
    "$WINE64" 'C:\bench\bench-launch.exe' "$@" >"$out" 2>&1 </dev/null || { cat "$out" >&2; exit 1; }
    tr -d '\r' <"$out" >>"$times"
    tr -d '\r' <"$out" | tail -n 1
}

# The jobs of one launch: names, then PREP EXE COMMANDLINE for each.
names=()
job_args=()
job() { names+=("$1"); job_args+=("$2" "$3" "$4"); }
product() {   # "<function> on|off" [PREP]
    local fn=${1% *} flag=1 args='vid_04a9 vrtk_ DeviceData InstallCLSID SOFTWARE\Sample'
    [ "${1#* }" = on ] || flag=0
    case $fn in M*) args='vrtk_ DeviceData InstallCLSID' ;; esac
    job "$1" "${2:--}" 'C:\bench\TIRNFuncts.exe' "TIRNFuncts.exe $fn $args $flag"
}
floor_name() {
    case $1 in MAddDS) echo madd ;; MRemoveDS) echo mremove ;; AddDS) echo add ;; RemoveDS) echo remove ;; esac
}
floor() {   # <function> [PREP [job name]]
    local exe; exe="bench-floor-$(floor_name "$1").exe"
    job "${3:-$1 floor}" "${2:--}" "C:\\bench\\$exe" "$exe"
}
declare -A ms
run_jobs() {   # <runs> <devices>: runs the jobs listed, keeps their medians
    local t i
    echo "== $2 devices, $1 runs" >>"$times"
    read -r -a t <<<"$(launch "$1" "${job_args[@]}")"
    for i in "${!names[@]}"; do ms["${names[$i]},$2"]=${t[$i]}; done
    names=()
    job_args=()
}

# The floors must leave twain_32 as the product does, or their figures mean
# nothing: each pair is run once from one start on a mixed machine and the
# listings (names and contents) compared. Devices 0000-0004 are served with
# an old data source, 0005-0009 not yet; 0010 has another vendor's module,
# 0011 no CorvelCLSID and a staged file, 0012 another hardware id and a
# generic module name; vrtk_0042 belongs to no device.
listing() {
    (cd "$twain" && { find . -mindepth 1 -type d -printf 'dir %P\n'; find . -type f -exec md5sum {} +; } | sort)
}
mixed() {
    served 5
    local i
    for i in 0 1 2 3 4; do printf 'old data source\r\n' >"$twain/vrtk_000$i/vrtk_000$i.ds"; done
    mkdir "$twain/vrtk_0010" "$twain/vrtk_0011" "$twain/vrtk_0042"
    printf 'another vendor\r\n' >"$twain/vrtk_0010/vrtk_0010.ds"
    cp "$generic" "$twain/vrtk_0011/vrtk_0011"
    cp "$generic" "$twain/vrtk_0042/vrtk_0042.ds"
}
once() {
    echo "== check of $fn" >>"$times"
    launch -cold 1 "${job_args[@]}" >/dev/null
    names=()
    job_args=()
}
registry 10 "$(reg_device 0010 '"CorvelCLSID"="{5A1C7B3E-0010-4000-8000-000000000000}"' \
                   '"InstallCLSID"="USB\\VID_04A9&PID_1909\\0010"' '"TwainDSmodule"="othervendor.ds"')" \
    "$(reg_device 0011 '"InstallCLSID"="usb\\vid_04a9&pid_1909\\0011"' '"TwainDSmodule"="zbxgnds2"')" \
    "$(reg_device 0012 '"CorvelCLSID"="{5A1C7B3E-0012-4000-8000-000000000000}"' \
                   '"InstallCLSID"="USB\\VID_1234&PID_0001\\0012"' '"TwainDSmodule"="zbxgnds2.tmp"')"
checked=()
for fn in MAddDS MRemoveDS AddDS RemoveDS; do
    prep=-
    [ "$fn" = AddDS ] && prep=stage=13
    mixed
    before=$(listing)
    product "$fn off" "$prep"
    once
    after=$(listing)
    mixed
    floor "$fn" "$prep"
    once
    if [ "$(listing)" != "$after" ]; then
        echo "bench: the $fn floor leaves other files in twain_32 than the product (< product, > floor):" >&2
        diff <(printf '%s\n' "$after") <(listing) >&2 || true
        exit 1
    fi
    changed=$(diff <(printf '%s\n' "$before") <(printf '%s\n' "$after") | grep -c '^[<>]' || true)
    checked+=("$fn $changed")
done

# One round, in this order, so that every job starts from the same files in
# every round: everything served for MAddDS, MRemoveDS and RemoveDS (which
# leaves nothing), staged files for AddDS (which serves everything again).
for n in "${sizes[@]}"; do
    registry "$n"
    served "$n"
    job noop - 'C:\bench\bench-noop.exe' bench-noop.exe
    job refused - 'C:\bench\TIRNFuncts.exe' 'TIRNFuncts.exe Zz'
    product "MAddDS on"
    floor MAddDS
    product "MAddDS off"
    [ "$n" -gt 100 ] || product "MRemoveDS on"
    floor MRemoveDS
    product "MRemoveDS off"
    product "RemoveDS on"
    product "AddDS on" "stage=$n"
    floor RemoveDS
    floor AddDS "stage=$n"
    product "RemoveDS off"
    product "AddDS off" "stage=$n"
    if [ "$n" -le 100 ]; then
        run_jobs "$runs" "$n"
    else
        run_jobs "$runs_1000" "$n"
        floor MRemoveDS - "MRemoveDS floor on"
        product "MRemoveDS on"
        run_jobs "$runs_square" "$n"
        square_mb=$(awk -v b="$(stat -c %s "$temp/_remove_ds.log")" 'BEGIN { printf "%.0f", b / 1e6 }')
        square_n=$n
    fi
    # Every round must have ended as it began: all served, nothing staged.
    ended=$(listing)
    served "$n"
    if [ "$(listing)" != "$ended" ]; then
        echo "bench: the rounds at $n devices did not leave every device served" >&2
        exit 1
    fi
done

registry 1
served 1
job "cut small" log=$((60 * 1024)) 'C:\bench\TIRNFuncts.exe' 'TIRNFuncts.exe MAddDS vrtk_ DeviceData InstallCLSID 1'
job "cut big" log=$((1024 * 1024 * 1024)) 'C:\bench\TIRNFuncts.exe' 'TIRNFuncts.exe MAddDS vrtk_ DeviceData InstallCLSID 1'
run_jobs $((3 * runs)) 1
rm -rf "$temp"/_add_ds*.log "$temp"/_remove_ds*.log "$twain"/vrtk_*

# The table.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
at_most() { awk -v r="$1" -v g="$2" 'BEGIN { print (r <= g ? "met" : "missed") }'; }
floor_ms() {   # <function> <on|off> <devices>: the floor run beside that row
    local key="$1 floor $2,$3"
    [ -n "${ms[$key]:-}" ] || key="$1 floor,$3"
    echo "${ms[$key]}"
}
row_ratio() { ratio "${ms[$1 $2,$3]}" "$(floor_ms "$1" "$2" "$3")"; }
slope() { awk -v a="$1" -v b="$2" -v n="$3" -v m="$4" 'BEGIN { printf "%.2f", (b - a) / (m - n) }'; }
has() { [ -n "${ms[noop,$1]:-}" ]; }
goal() {   # <ratio goal> <function> <on|off> <devices>
    if has "$4"; then
        echo "$4 dev <= $1: $(at_most "$(row_ratio "$2" "$3" "$4")" "$1")"
    else
        echo "$4 dev <= $1: not run"
    fi
}

echo "Machine: $(nproc --all) CPUs (the bench runs on one), $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'), $("$WINE64" --version 2>/dev/null)"
echo "Medians of $runs runs ($runs_1000 above 100 devices, $runs_square for the logged MRemoveDS there) after one"
echo "round not counted, jobs interleaved, each started by CreateProcessA from one launcher;"
echo "generic module $generic_kib KiB."
echo "Every job starts with no run log; MAddDS finds every device served, MRemoveDS keeps"
echo "every entry, RemoveDS removes every data source, AddDS moves every staged file."
echo "Checked once from one start on a mixed machine: each floor leaves twain_32 as the product"
echo "does (listing lines the run changed: $(IFS=,; echo "${checked[*]}" | sed 's/,/, /g'))."
echo "ms/dev a-b: the time each device adds from a to b devices, product/floor."
echo
header=$(printf '%-26s' "time / floor")
for n in "${sizes[@]}"; do header+=$(printf ' %8s' "$n dev"); done
slopes=()
for ((k = 1; k < ${#sizes[@]}; k++)); do
    [ "${sizes[k - 1]}" -ge 10 ] || continue
    slopes+=("$((k - 1))")
    header+=$(printf '  %13s' "ms/dev ${sizes[k - 1]}-${sizes[k]}")
done
echo "$header   goal"
for name in "MAddDS on" "MAddDS off" "MRemoveDS on" "MRemoveDS off" "AddDS on" "AddDS off" \
            "RemoveDS on" "RemoveDS off"; do
    fn=${name% *}
    log=${name#* }
    line=$(printf '%-26s' "$fn, logging $log")
    for n in "${sizes[@]}"; do line+=$(printf ' %8s' "$(row_ratio "$fn" "$log" "$n")"); done
    for k in "${slopes[@]}"; do
        a=${sizes[k]} b=${sizes[k + 1]}
        line+=$(printf '  %13s' "$(slope "${ms[$name,$a]}" "${ms[$name,$b]}" "$a" "$b")/$(slope \
            "$(floor_ms "$fn" "$log" "$a")" "$(floor_ms "$fn" "$log" "$b")" "$a" "$b")")
    done
    case $name in
    "MAddDS on") g=$(goal 1.2 MAddDS on 100) ;;
    "MAddDS off")
        g="$(goal 1.1 MAddDS off 100); $(goal 1.1 MAddDS off 1000)"
        if has 10 && has 1000; then
            # Flat against the floor's own cost per device, which grows too
            # as the disk takes 256 MB of copies at 1000 devices.
            p10=$(slope "${ms[$name,10]}" "${ms[$name,100]}" 10 100)
            p1000=$(slope "${ms[$name,100]}" "${ms[$name,1000]}" 100 1000)
            f10=$(slope "$(floor_ms MAddDS off 10)" "$(floor_ms MAddDS off 100)" 10 100)
            f1000=$(slope "$(floor_ms MAddDS off 100)" "$(floor_ms MAddDS off 1000)" 100 1000)
            g+="; flat 10-1000: $(awk -v a="$p10" -v b="$p1000" -v fa="$f10" -v fb="$f1000" 'BEGIN {
                d = (b / fb) / (a / fa) - 1
                printf "per device %.2f then %.2f of the floor'"'"'s, %+.0f%% %s (within 20%%; product %+.0f%%, floor %+.0f%%)",
                    a / fa, b / fb, d * 100, (d <= 0.2 && d >= -0.2 ? "met" : "missed"), (b / a - 1) * 100, (fb / fa - 1) * 100 }')"
        fi
        ;;
    "MRemoveDS on") g=$(goal 1.3 MRemoveDS on 100) ;;
    "MRemoveDS off") g=$(goal 1.1 MRemoveDS off 100) ;;
    *) g="" ;;
    esac
    echo "$line   $g" | sed 's/ *$//'
done
line=$(printf '%-26s' "refused call / do-nothing")
verdict=met
for n in "${sizes[@]}"; do
    r=$(ratio "${ms[refused,$n]}" "${ms[noop,$n]}")
    line+=$(printf ' %8s' "$r")
    [ "$(at_most "$r" 1.05)" = met ] || verdict=missed
done
printf '%s%*s   <= 1.05 at every size: %s\n' "$line" $((15 * ${#slopes[@]})) "" "$verdict"
echo "Floors, ms (per device: the columns after the ratios, product/floor):"
for name in noop "MAddDS floor" "MRemoveDS floor" "AddDS floor" "RemoveDS floor"; do
    label=$name
    [ "$name" = noop ] && label="do-nothing program"
    line=$(printf '  %-24s' "$label")
    for n in "${sizes[@]}"; do line+=$(printf ' %8s' "${ms[$name,$n]}"); done
    echo "$line"
done
if [ -n "${square_n:-}" ]; then
    echo "  MRemoveDS, logging on, at $square_n devices: timed beside its own floor run (${ms[MRemoveDS floor on,$square_n]} ms); its log: $square_mb MB a run"
fi
cut=$(ratio "${ms[cut big,1]}" "${ms[cut small,1]}")
printf '%-26s %8s   <= 1.2: %s (%s ms, %s ms; MAddDS at 1 device, logging on, %s runs)\n' \
    "log cut, 1 GiB / 60 KiB" "$cut" "$(at_most "$cut" 1.2)" "${ms[cut small,1]}" "${ms[cut big,1]}" $((3 * runs))
stripped="$WINEPREFIX/stripped.exe"
for arch in x86 x64; do
    exe="$build/$arch/TIRNFuncts.exe"
    tool=i686-w64-mingw32-strip
    [ $arch = x64 ] && tool=x86_64-w64-mingw32-strip
    "$tool" -o "$stripped" "$exe"
    built=$(stat -c %s "$exe") small=$(stat -c %s "$stripped")
    printf '%-26s %8s   stripped %s KiB (%s and %s bytes)   <= 320 KiB stripped: %s\n' \
        "size $arch/TIRNFuncts.exe" "$((built / 1024)) KiB" "$((small / 1024))" "$built" "$small" \
        "$(at_most "$small" $((320 * 1024)))"
done
rm -f "$stripped"
echo "Bench run took $((SECONDS - began)) s; every run's time is in build/bench-times.txt."
