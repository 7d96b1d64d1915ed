// setupapi, advapi32 and user32 are loaded at the first call into them
// (cmake/DelayLoad.cmake). The runtime's loader helper raises an exception
// when a DLL cannot be loaded or lacks a function, which would end the run
// without "End Log". Instead such a function is bound to a stand-in that
// fails every call as the platform documents a failure of it, with
// ERROR_MOD_NOT_FOUND (the DLL could not be loaded) or ERROR_PROC_NOT_FOUND
// (the function is missing): its caller logs and handles that as any other
// failed call. Every function named in the delay-load lists needs a row here.

#include <windows.h>
#include <delayimp.h>
#include <setupapi.h>

#include <cstring>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace
{
enum EDll
{
    kSetupApi,
    kAdvapi32,
    kUser32,
    kDllCount
};

DWORD g_dwError[kDllCount];

HDEVINFO WINAPI FailGetClassDevs(const GUID*, PCSTR, HWND, DWORD)
{
    SetLastError(g_dwError[kSetupApi]);
    return INVALID_HANDLE_VALUE;
}

BOOL WINAPI FailEnumDeviceInfo(HDEVINFO, DWORD, PSP_DEVINFO_DATA)
{
    SetLastError(g_dwError[kSetupApi]);
    return FALSE;
}

BOOL WINAPI FailGetDeviceRegistryProperty(HDEVINFO, PSP_DEVINFO_DATA, DWORD, PDWORD, PBYTE, DWORD, PDWORD)
{
    SetLastError(g_dwError[kSetupApi]);
    return FALSE;
}

HKEY WINAPI FailOpenDevRegKey(HDEVINFO, PSP_DEVINFO_DATA, DWORD, DWORD, DWORD, REGSAM)
{
    SetLastError(g_dwError[kSetupApi]);
    return static_cast<HKEY>(INVALID_HANDLE_VALUE);
}

BOOL WINAPI FailDestroyDeviceInfoList(HDEVINFO)
{
    SetLastError(g_dwError[kSetupApi]);
    return FALSE;
}

// The registry calls return their error.
LONG WINAPI FailRegOpenKeyEx(HKEY, LPCSTR, DWORD, REGSAM, PHKEY)
{
    return static_cast<LONG>(g_dwError[kAdvapi32]);
}

LONG WINAPI FailRegQueryValueEx(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD)
{
    return static_cast<LONG>(g_dwError[kAdvapi32]);
}

LONG WINAPI FailRegCloseKey(HKEY)
{
    return static_cast<LONG>(g_dwError[kAdvapi32]);
}

int WINAPI FailMessageBox(HWND, LPCSTR, LPCSTR, UINT)
{
    SetLastError(g_dwError[kUser32]);
    return 0;
}

struct SFallback
{
    const char* szName;
    EDll dll;
    void* pfn;
};

const SFallback kFallbacks[] = {
    {"SetupDiGetClassDevsA", kSetupApi, reinterpret_cast<void*>(&FailGetClassDevs)},
    {"SetupDiEnumDeviceInfo", kSetupApi, reinterpret_cast<void*>(&FailEnumDeviceInfo)},
    {"SetupDiGetDeviceRegistryPropertyA", kSetupApi, reinterpret_cast<void*>(&FailGetDeviceRegistryProperty)},
    {"SetupDiOpenDevRegKey", kSetupApi, reinterpret_cast<void*>(&FailOpenDevRegKey)},
    {"SetupDiDestroyDeviceInfoList", kSetupApi, reinterpret_cast<void*>(&FailDestroyDeviceInfoList)},
    {"RegOpenKeyExA", kAdvapi32, reinterpret_cast<void*>(&FailRegOpenKeyEx)},
    {"RegQueryValueExA", kAdvapi32, reinterpret_cast<void*>(&FailRegQueryValueEx)},
    {"RegCloseKey", kAdvapi32, reinterpret_cast<void*>(&FailRegCloseKey)},
    {"MessageBoxA", kUser32, reinterpret_cast<void*>(&FailMessageBox)},
};

HMODULE ThisExe()
{
    return reinterpret_cast<HMODULE>(&__ImageBase);
}

FARPROC WINAPI DelayLoadFailed(unsigned dliNotify, PDelayLoadInfo pdli)
{
    // A DLL that cannot be loaded is taken to be this exe, which exports
    // nothing: each of its functions then fails to be found, at its first
    // call, and gets its stand-in below.
    if (dliNotify == dliFailLoadLib)
        return reinterpret_cast<FARPROC>(ThisExe());
    if (dliNotify != dliFailGetProc || !pdli->dlp.fImportByName)
        return NULL;
    for (const SFallback& fallback : kFallbacks)
    {
        if (std::strcmp(fallback.szName, pdli->dlp.szProcName) == 0)
        {
            g_dwError[fallback.dll] = pdli->hmodCur == ThisExe() ? ERROR_MOD_NOT_FOUND : ERROR_PROC_NOT_FOUND;
            return reinterpret_cast<FARPROC>(fallback.pfn);
        }
    }
    return NULL;
}
} // namespace

// Read by the runtime's loader helper; declared extern "C" by its header.
PfnDliHook __pfnDliFailureHook2 = DelayLoadFailed;
