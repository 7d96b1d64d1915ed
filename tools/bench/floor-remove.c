/* The RemoveDS floor: one walk; for every device whose check value holds the
 * hardware identifier, its data source goes, then its directory if empty. */
#include "bench.h"

static void each(const char *instance, HKEY data)
{
    if (!check_matches(data))
        return;
    struct ds_paths p;
    ds_paths(&p, instance);
    DeleteFileA(p.ds);
    RemoveDirectoryA(p.dir);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR line, int show)
{
    (void)instance, (void)previous, (void)line, (void)show;
    twain_init();
    walk_devices(each);
    return 0;
}
