/* The MRemoveDS floor: one walk noting the served instances, then one scan
 * of twain_32\<prefix>* taking away each entry whose device is gone or not
 * served (its staged file, data source and directory). */
#include "bench.h"

#include <stdlib.h>

/* An instance has at most four characters: "0000" to "9999". */
static char served[10000][5];
static int count;

static void each(const char *instance, HKEY data)
{
    if (count < 10000 && strlen(instance) < 5 && served_module(data))
        strcpy(served[count++], instance);
}

static int compare(const void *a, const void *b)
{
    return _stricmp(a, b);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR line, int show)
{
    (void)instance, (void)previous, (void)line, (void)show;
    twain_init();
    walk_devices(each);
    qsort(served, count, sizeof(served[0]), compare);

    char pattern[MAX_PATH];
    _snprintf(pattern, MAX_PATH, "%s\\" DS_PREFIX "*", twain);
    WIN32_FIND_DATAA found;
    HANDLE scan = FindFirstFileA(pattern, &found);
    if (scan == INVALID_HANDLE_VALUE)
        return 0;
    do
    {
        const char *rest = found.cFileName + strlen(DS_PREFIX);
        if (rest[0] == '\0' || strlen(rest) > 4 || bsearch(rest, served, count, sizeof(served[0]), compare))
            continue;
        struct ds_paths p;
        ds_paths(&p, rest);
        DeleteFileA(p.staged);
        DeleteFileA(p.ds);
        RemoveDirectoryA(p.dir);
    } while (FindNextFileA(scan, &found));
    FindClose(scan);
    return 0;
}
