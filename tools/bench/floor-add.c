/* The AddDS floor: one walk, and one move of the staged file to the data
 * source for every device whose check value holds the hardware identifier. */
#include "bench.h"

static void each(const char *instance, HKEY data)
{
    if (!check_matches(data))
        return;
    struct ds_paths p;
    ds_paths(&p, instance);
    MoveFileA(p.staged, p.ds);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR line, int show)
{
    (void)instance, (void)previous, (void)line, (void)show;
    twain_init();
    walk_devices(each);
    return 0;
}
