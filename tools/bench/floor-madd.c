/* The MAddDS floor: one walk, and one copy of the generic module for every
 * device with CorvelCLSID and a served module; the device's directory is
 * made only when the copy finds it missing. */
#include "bench.h"

static char generic[MAX_PATH];

static void each(const char *instance, HKEY data)
{
    if (RegQueryValueExA(data, "CorvelCLSID", NULL, NULL, NULL, NULL) != ERROR_SUCCESS || !served_module(data))
        return;
    struct ds_paths p;
    ds_paths(&p, instance);
    if (!CopyFileA(generic, p.ds, FALSE) && CreateDirectoryA(p.dir, NULL))
        CopyFileA(generic, p.ds, FALSE);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR line, int show)
{
    (void)instance, (void)previous, (void)line, (void)show;
    twain_init();
    _snprintf(generic, MAX_PATH, "%s\\" GENERIC_MODULE, twain);
    walk_devices(each);
    return 0;
}
