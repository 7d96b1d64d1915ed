/* bench-launch [-cold] RUNS {PREP EXE COMMANDLINE}...
 *
 * Starts each job in turn with CreateProcessA: one round that is not counted
 * (it meets the caches and the disk as the previous work left them; -cold
 * leaves it out), then RUNS rounds. Prints each job's wall times in ms in the
 * order run, one line a job, then the median of every job on the last line.
 * Outside the timed span, before every job, the run logs are taken away
 * (each logged run writes a fresh log; the cut of an old one is timed on its
 * own), and then PREP:
 *   -         nothing more;
 *   log=SIZE  <temp>\_add_ds.log becomes a sparse file of SIZE bytes ending
 *             in 56 KiB of text lines;
 *   stage=N   devices 0000 to N-1 get their staged file, a copy of the
 *             generic module (their directory is made when missing). */
#include "bench.h"

#include <stdlib.h>

static const char *const logs[] = {"_add_ds.log", "_add_ds2.log", "_remove_ds.log", "_remove_ds2.log"};
static char temp[MAX_PATH];
static char tail[56 * 1024];

static int make_log(LONGLONG size)
{
    char path[MAX_PATH];
    _snprintf(path, MAX_PATH, "%s_add_ds.log", temp);
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    LARGE_INTEGER at;
    at.QuadPart = size - (LONGLONG)sizeof(tail);
    DWORD written = 0;
    int ok = SetFilePointerEx(h, at, NULL, FILE_BEGIN) && SetEndOfFile(h) &&
             WriteFile(h, tail, sizeof(tail), &written, NULL) && written == sizeof(tail);
    CloseHandle(h);
    return ok;
}

static int stage(int devices)
{
    char generic[MAX_PATH], instance[16];
    _snprintf(generic, MAX_PATH, "%s\\" GENERIC_MODULE, twain);
    for (int i = 0; i < devices; i++)
    {
        struct ds_paths p;
        _snprintf(instance, sizeof(instance), "%04d", i);
        ds_paths(&p, instance);
        CreateDirectoryA(p.dir, NULL);
        if (!CopyFileA(generic, p.staged, FALSE))
            return 0;
    }
    return 1;
}

static int prepare(const char *prep)
{
    for (size_t i = 0; i < sizeof(logs) / sizeof(logs[0]); i++)
    {
        char path[MAX_PATH];
        _snprintf(path, MAX_PATH, "%s%s", temp, logs[i]);
        DeleteFileA(path);
    }
    if (strncmp(prep, "log=", 4) == 0)
        return make_log(_atoi64(prep + 4));
    if (strncmp(prep, "stage=", 6) == 0)
        return stage(atoi(prep + 6));
    return strcmp(prep, "-") == 0;
}

static int compare(const void *a, const void *b)
{
    double x = *(const double *)a, y = *(const double *)b;
    return x < y ? -1 : x > y;
}

int main(int argc, char **argv)
{
    int first = -1;
    if (argc > 1 && strcmp(argv[1], "-cold") == 0)
    {
        first = 0;
        argc--, argv++;
    }
    if (argc < 5 || (argc - 2) % 3 != 0)
    {
        fprintf(stderr, "usage: bench-launch [-cold] RUNS {PREP EXE COMMANDLINE}...\n");
        return 2;
    }
    const char line[] = "00:00:00\t01/01/24\t\r\nStart Log\r\nSetupDiEnumDeviceInfo returned 1, m_idx = 0\r\n";
    memset(tail, 'x', sizeof(tail));
    for (size_t i = 0; i + sizeof(line) - 1 <= sizeof(tail); i += sizeof(line) - 1)
        memcpy(tail + i, line, sizeof(line) - 1);
    memcpy(tail + sizeof(tail) - 2, "\r\n", 2);
    DWORD cch = GetTempPathA(MAX_PATH - 16, temp);
    if (cch == 0 || cch >= MAX_PATH - 16)
        return 1;
    twain_init();

    int runs = atoi(argv[1]), jobs = (argc - 2) / 3;
    double *ms = calloc((size_t)runs * jobs, sizeof(double));
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    for (int r = first; r < runs; r++)
        for (int j = 0; j < jobs; j++)
        {
            const char *prep = argv[2 + 3 * j], *exe = argv[3 + 3 * j];
            char *command = _strdup(argv[4 + 3 * j]);
            STARTUPINFOA si = {.cb = sizeof(si)};
            PROCESS_INFORMATION pi;
            if (!prepare(prep))
            {
                fprintf(stderr, "cannot prepare %s: %lu\n", prep, GetLastError());
                return 1;
            }
            /* Wine now and then fails a process start at once with
             * ERROR_INTERNAL_ERROR; such a start is tried again, untimed. */
            BOOL started = FALSE;
            for (int attempt = 0; attempt < 3 && !started; attempt++)
            {
                QueryPerformanceCounter(&start);
                started = CreateProcessA(exe, command, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi);
                if (!started && GetLastError() != ERROR_INTERNAL_ERROR)
                    break;
            }
            if (!started)
            {
                fprintf(stderr, "cannot start %s: %lu\n", exe, GetLastError());
                return 1;
            }
            WaitForSingleObject(pi.hProcess, INFINITE);
            QueryPerformanceCounter(&end);
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
            free(command);
            if (r >= 0)
                ms[j * runs + r] = (end.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart;
        }
    for (int j = 0; j < jobs; j++)
    {
        printf("%s:", argv[4 + 3 * j]);
        for (int r = 0; r < runs; r++)
            printf(" %.2f", ms[j * runs + r]);
        printf("\n");
    }
    for (int j = 0; j < jobs; j++)
    {
        double *t = ms + j * runs;
        qsort(t, runs, sizeof(double), compare);
        printf("%.2f%s", (t[(runs - 1) / 2] + t[runs / 2]) / 2, j + 1 < jobs ? " " : "\n");
    }
    return 0;
}
