/* The start-up floor: a GUI program that does nothing. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR line, int show)
{
    (void)instance, (void)previous, (void)line, (void)show;
    return 0;
}
