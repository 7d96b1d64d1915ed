/* What the bench's own programs share: the names of the bench machine, the
 * twain_32 paths and the one walk of the Image device set.
 *
 * The floors take no arguments: they do what the product does for the
 * command lines tools/bench.sh gives it, and nothing else. */
#ifndef TIRN_BENCH_H
#define TIRN_BENCH_H

#include <windows.h>
#include <setupapi.h>
/* The class GUID is defined here, not taken from a library. */
#include <initguid.h>
#include <devguid.h>

#include <stdio.h>
#include <string.h>

#define DS_PREFIX "vrtk_"
#define GENERIC_MODULE "zbxgnds2"
#define MODULE_KEY "DeviceData"
/* AddDS/RemoveDS: vid_04a9 vrtk_ DeviceData InstallCLSID */
#define HARDWARE_ID "vid_04a9"
#define CHECK_VALUE "InstallCLSID"

/* <windir>\twain_32, asked once a run. The paths here are short, so the
 * runtime's own _snprintf does; the C99 one would double a floor's size. */
static char twain[MAX_PATH];

static inline void twain_init(void)
{
    char windir[MAX_PATH];
    GetWindowsDirectoryA(windir, MAX_PATH);
    _snprintf(twain, MAX_PATH, "%s\\twain_32", windir);
}

/* The directory, staged file and data source of one instance. */
struct ds_paths
{
    char dir[MAX_PATH], staged[MAX_PATH], ds[MAX_PATH];
};

static inline void ds_paths(struct ds_paths *p, const char *instance)
{
    _snprintf(p->dir, MAX_PATH, "%s\\" DS_PREFIX "%s", twain, instance);
    _snprintf(p->staged, MAX_PATH, "%s\\" DS_PREFIX "%s", p->dir, instance);
    _snprintf(p->ds, MAX_PATH, "%s.ds", p->staged);
}

/* One walk: each() gets the instance (the driver value's last part) and the
 * open DeviceData key of every device that has one. The keys are closed, as
 * a correct program must. */
static inline void walk_devices(void (*each)(const char *instance, HKEY data))
{
    HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVCLASS_IMAGE, NULL, NULL, 0);
    if (set == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA device = {.cbSize = sizeof(device)};
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); i++)
    {
        char driver[MAX_PATH + 1] = "";
        if (!SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_DRIVER, NULL, (BYTE *)driver, MAX_PATH, NULL))
            continue;
        const char *instance = strrchr(driver, '\\');
        HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_QUERY_VALUE);
        if (instance == NULL || key == INVALID_HANDLE_VALUE)
            continue;
        HKEY data;
        if (RegOpenKeyExA(key, MODULE_KEY, 0, KEY_QUERY_VALUE, &data) == ERROR_SUCCESS)
        {
            each(instance + 1, data);
            RegCloseKey(data);
        }
        RegCloseKey(key);
    }
    SetupDiDestroyDeviceInfoList(set);
}

/* MAddDS/MRemoveDS: no TwainDSmodule, or one of the generic module's names. */
static inline int served_module(HKEY data)
{
    char module[261];
    DWORD size = 260;
    if (RegQueryValueExA(data, "TwainDSmodule", NULL, NULL, (BYTE *)module, &size) != ERROR_SUCCESS)
        return 1;
    module[size] = '\0';
    return strcmp(module, "zbxgends.tmp") == 0 || strcmp(module, "zbxgnds2.tmp") == 0 ||
           strcmp(module, GENERIC_MODULE) == 0;
}

/* AddDS/RemoveDS: the check value holds the hardware identifier, any case. */
static inline int check_matches(HKEY data)
{
    char text[261];
    DWORD size = 260;
    if (RegQueryValueExA(data, CHECK_VALUE, NULL, NULL, (BYTE *)text, &size) != ERROR_SUCCESS)
        return 0;
    text[size] = '\0';
    return strstr(_strlwr(text), HARDWARE_ID) != NULL;
}

#endif
