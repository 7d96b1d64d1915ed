#!/usr/bin/env bash
# Times the four functions against a do-nothing GUI program started the same
# way, side by side in one run under Wine, at 1, 10 and 100 devices, and a
# logged run that cuts a 1 GiB log against one that cuts a 60 KiB log.
# Prints one table of ratios (medians of RUNS runs). Not part of the tests.
#
# Usage: tools/bench.sh          (RUNS=7 and GENERIC_KIB=256 by default)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${RUNS:-7}
generic_kib=${GENERIC_KIB:-256}
build="$root/build"

if [ ! -f "$build/x64/TIRNFuncts.exe" ]; then
    "$root/tools/build.sh"
else
    cmake --build "$build/x64" --target TIRNFuncts -- --no-print-directory -s
fi

# The floor and the launcher, built from the sources below when missing or
# older than this script.
gcc=x86_64-w64-mingw32-gcc-posix
src="$build/bench-src"
mkdir -p "$src"
if [ ! -f "$build/bench-noop.exe" ] || [ "$0" -nt "$build/bench-noop.exe" ]; then
    cat >"$src/noop.c" <<'EOF'
#include <windows.h>
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR line, int show)
{
    (void)instance, (void)previous, (void)line, (void)show;
    return 0;
}
EOF
    "$gcc" -O2 -mwindows -static -o "$build/bench-noop.exe" "$src/noop.c"
fi
if [ ! -f "$build/bench-launch.exe" ] || [ "$0" -nt "$build/bench-launch.exe" ]; then
    cat >"$src/launch.c" <<'EOF'
/* bench-launch RUNS {LOGSIZE EXE COMMANDLINE}...
 * Starts each job in turn, RUNS rounds, and prints the median wall time of
 * each job in ms, one line. LOGSIZE > 0: before that job's every run, make
 * <temp>\_add_ds.log a sparse file of LOGSIZE bytes ending in 56 KiB of text
 * lines (outside the timed span). */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static char tail[56 * 1024];

static int prepare(LONGLONG size)
{
    char path[MAX_PATH];
    DWORD cch = GetTempPathA(MAX_PATH - 16, path), written = 0;
    if (cch == 0 || cch >= MAX_PATH - 16)
        return 0;
    strcat(path, "_add_ds.log");
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    LARGE_INTEGER at;
    at.QuadPart = size - (LONGLONG)sizeof(tail);
    int ok = SetFilePointerEx(h, at, NULL, FILE_BEGIN) && SetEndOfFile(h) &&
             WriteFile(h, tail, sizeof(tail), &written, NULL) && written == sizeof(tail);
    CloseHandle(h);
    return ok;
}

static int compare(const void *a, const void *b)
{
    double x = *(const double *)a, y = *(const double *)b;
    return x < y ? -1 : x > y;
}

int main(int argc, char **argv)
{
    if (argc < 5 || (argc - 2) % 3 != 0)
    {
        fprintf(stderr, "usage: bench-launch RUNS {LOGSIZE EXE COMMANDLINE}...\n");
        return 2;
    }
    const char line[] = "00:00:00\t01/01/24\t\r\nStart Log\r\nSetupDiEnumDeviceInfo returned 1, m_idx = 0\r\n";
    memset(tail, 'x', sizeof(tail));
    for (size_t i = 0; i + sizeof(line) - 1 <= sizeof(tail); i += sizeof(line) - 1)
        memcpy(tail + i, line, sizeof(line) - 1);
    memcpy(tail + sizeof(tail) - 2, "\r\n", 2);

    int runs = atoi(argv[1]), jobs = (argc - 2) / 3;
    double *ms = calloc((size_t)runs * jobs, sizeof(double));
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    for (int r = 0; r < runs; r++)
        for (int j = 0; j < jobs; j++)
        {
            LONGLONG size = _atoi64(argv[2 + 3 * j]);
            char *command = _strdup(argv[4 + 3 * j]);
            STARTUPINFOA si = {sizeof(si)};
            PROCESS_INFORMATION pi;
            if (size > 0 && !prepare(size))
            {
                fprintf(stderr, "cannot make the log: %lu\n", GetLastError());
                return 1;
            }
            QueryPerformanceCounter(&start);
            if (!CreateProcessA(argv[3 + 3 * j], command, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
            {
                fprintf(stderr, "cannot start %s: %lu\n", argv[3 + 3 * j], GetLastError());
                return 1;
            }
            WaitForSingleObject(pi.hProcess, INFINITE);
            QueryPerformanceCounter(&end);
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
            free(command);
            ms[j * runs + r] = (end.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart;
        }
    for (int j = 0; j < jobs; j++)
    {
        qsort(ms + j * runs, runs, sizeof(double), compare);
        printf("%.2f%s", ms[j * runs + runs / 2], j + 1 < jobs ? " " : "\n");
    }
    return 0;
}
EOF
    "$gcc" -O2 -static -o "$build/bench-launch.exe" "$src/launch.c"
fi

export WINEPREFIX="$build/bench-prefix"
export WINEDEBUG=-all
wine=/usr/lib/wine/wine64
"$root/tools/wine-prefix.sh" create "$WINEPREFIX"
trap '"$root/tools/wine-prefix.sh" stop "$WINEPREFIX"' EXIT

drive_c="$WINEPREFIX/drive_c"
twain="$drive_c/windows/twain_32"
temp=$(ls -d "$drive_c"/users/*/Temp | grep -v Public | head -n 1)
mkdir -p "$drive_c/bench"
cp "$build/x64/TIRNFuncts.exe" "$build/bench-noop.exe" "$build/bench-launch.exe" "$drive_c/bench/"
tirn='C:\bench\TIRNFuncts.exe'
noop='C:\bench\bench-noop.exe'
out="$WINEPREFIX/bench-out.txt"

guid='{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}'
enum='HKEY_LOCAL_MACHINE\System\CurrentControlSet\Enum\ROOT\IMAGE'
class="HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Class\\$guid"

# n TIRN devices 0000..n-1 (CorvelCLSID, no TwainDSmodule), each matched by
# the single-device calls below, and a twain_32 with the generic module only.
machine() {
    local n=$1 i id
    {
        printf 'REGEDIT4\n\n[-%s]\n' "$enum"
        for i in $(seq 0 99); do printf '[-%s\\%04d]\n' "$class" "$i"; done
        for ((i = 0; i < n; i++)); do
            id=$(printf %04d "$i")
            printf '\n[%s\\%s]\n"ClassGUID"="%s"\n"Driver"="%s\\\\%s"\n' "$enum" "$id" "$guid" "$guid" "$id"
            printf '\n[%s\\%s\\DeviceData]\n"CorvelCLSID"="{5A1C7B3E-%s-4000-8000-000000000000}"\n' "$class" "$id" "$id"
            printf '"InstallCLSID"="USB\\\\VID_04A9&PID_1909\\\\%s"\n' "$id"
        done
    } | sed 's/$/\r/' >"$drive_c/bench.reg"
    "$wine" 'C:\windows\regedit.exe' /S 'C:\bench.reg' >/dev/null 2>&1
    rm -rf "$twain"
    mkdir -p "$twain"
    head -c $((generic_kib * 1024)) /dev/urandom >"$twain/zbxgnds2"
    rm -f "$temp"/_add_ds*.log "$temp"/_remove_ds*.log
}

launch() {   # RUNS then {LOGSIZE EXE COMMANDLINE}...; prints the medians
    "$wine" 'C:\bench\bench-launch.exe' "$@" >"$out" 2>&1 || { cat "$out" >&2; exit 1; }
    tr -d '\r' <"$out" | tail -n 1
}

single='vid_04a9 vrtk_ DeviceData InstallCLSID SOFTWARE\Sample'
multi='vrtk_ DeviceData InstallCLSID'
# One round, in this order: RemoveDS removes what the MAddDS before it made,
# MRemoveDS walks as many data sources as devices and keeps them all.
names=(floor "refused call" "AddDS on" "AddDS off" "RemoveDS on" "MAddDS on" "RemoveDS off" "MAddDS off" "MRemoveDS on" "MRemoveDS off")
jobs=(0 "$noop" 'bench-noop.exe'
      0 "$tirn" "TIRNFuncts.exe Zz"
      0 "$tirn" "TIRNFuncts.exe AddDS $single 1"
      0 "$tirn" "TIRNFuncts.exe AddDS $single 0"
      0 "$tirn" "TIRNFuncts.exe RemoveDS $single 1"
      0 "$tirn" "TIRNFuncts.exe MAddDS $multi 1"
      0 "$tirn" "TIRNFuncts.exe RemoveDS $single 0"
      0 "$tirn" "TIRNFuncts.exe MAddDS $multi 0"
      0 "$tirn" "TIRNFuncts.exe MRemoveDS $multi 1"
      0 "$tirn" "TIRNFuncts.exe MRemoveDS $multi 0")

declare -A ms
for n in 1 10 100; do
    machine "$n"
    read -r -a t <<<"$(launch "$runs" "${jobs[@]}")"
    for i in "${!names[@]}"; do ms["${names[$i]},$n"]=${t[$i]}; done
done

machine 1
read -r small big <<<"$(launch "$runs" $((60 * 1024)) "$tirn" "TIRNFuncts.exe MAddDS $multi 1" \
                                  $((1024 * 1024 * 1024)) "$tirn" "TIRNFuncts.exe MAddDS $multi 1")"
rm -f "$temp"/_add_ds*.log

cpu=$(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //')
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
verdict() { awk -v r="$1" -v g="$2" 'BEGIN { print (r <= g ? "met" : "MISSED") }'; }

echo "Machine: $(nproc) CPUs, $cpu, $("$wine" --version 2>/dev/null)"
echo "Median of $runs runs each, every run started by CreateProcessA from one launcher; generic module $generic_kib KiB"
printf '%-24s %9s %9s %9s   %s\n' "run time / floor" "1 dev" "10 dev" "100 dev" "goal at 100 devices"
printf '%-24s %9s %9s %9s\n' "floor: do-nothing, ms" "${ms[floor,1]}" "${ms[floor,10]}" "${ms[floor,100]}"
printf '%-24s %9s %9s %9s   %s\n' "refused call (DLLs only)" "$(ratio "${ms[refused call,1]}" "${ms[floor,1]}")" \
    "$(ratio "${ms[refused call,10]}" "${ms[floor,10]}")" "$(ratio "${ms[refused call,100]}" "${ms[floor,100]}")" \
    "the exe's own start: its DLLs loaded, no job made"
for name in "AddDS on" "AddDS off" "RemoveDS on" "RemoveDS off" "MAddDS on" "MAddDS off" "MRemoveDS on" "MRemoveDS off"; do
    fn=${name% *}
    log=${name#* }
    r1=$(ratio "${ms[$name,1]}" "${ms[floor,1]}")
    r10=$(ratio "${ms[$name,10]}" "${ms[floor,10]}")
    r100=$(ratio "${ms[$name,100]}" "${ms[floor,100]}")
    goal=""
    case $fn in
    MAddDS) goal="<= 1.5: $(verdict "$r100" 1.5)" ;;
    MRemoveDS) goal="<= 3: $(verdict "$r100" 3)" ;;
    esac
    printf '%-24s %9s %9s %9s   %s\n' "$fn, logging $log" "$r1" "$r10" "$r100" "$goal" | sed 's/ *$//'
done
cut=$(ratio "$big" "$small")
printf '%-24s %9s %9s %9s   %s\n' "log cut, 1 GiB / 60 KiB" "$cut" "" "" "<= 1.2: $(verdict "$cut" 1.2) ($small ms, $big ms)"
