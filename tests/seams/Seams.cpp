#include "seams/Seams.h"

// This file is built with the product sources; the real calls below must not
// be redirected back here.
#undef SetupDiGetClassDevsA
#undef SetupDiEnumDeviceInfo
#undef GetWindowsDirectoryA
#undef GetTempPathW
#undef RegCloseKey
#undef SetFileAttributesA
#undef GetTickCount
#undef ReadFile
#undef WriteFile
#undef RegQueryValueExA
#undef CloseHandle
#undef CreateFileW
#undef FlushFileBuffers
#undef GetProcAddress
#undef GetFileInformationByHandleEx
#undef SetFileInformationByHandle
#undef SetupDiOpenDevRegKey
#undef RegOpenKeyExA
#undef GetFileInformationByHandle

SSeams& Seams()
{
    static SSeams seams;
    return seams;
}

void ResetSeams()
{
    Seams() = SSeams();
}

HDEVINFO WINAPI SeamSetupDiGetClassDevsA(const GUID* pGuid, PCSTR szEnumerator, HWND hwnd, DWORD dwFlags)
{
    if (Seams().getClassDevs)
        return Seams().getClassDevs(pGuid, szEnumerator, hwnd, dwFlags);
    return SetupDiGetClassDevsA(pGuid, szEnumerator, hwnd, dwFlags);
}

BOOL WINAPI SeamSetupDiEnumDeviceInfo(HDEVINFO hDevInfo, DWORD dwIndex, PSP_DEVINFO_DATA pDevInfoData)
{
    if (Seams().enumDeviceInfo)
        return Seams().enumDeviceInfo(hDevInfo, dwIndex, pDevInfoData);
    return SetupDiEnumDeviceInfo(hDevInfo, dwIndex, pDevInfoData);
}

UINT WINAPI SeamGetWindowsDirectoryA(LPSTR szBuffer, UINT cchSize)
{
    if (Seams().getWindowsDirectory)
        return Seams().getWindowsDirectory(szBuffer, cchSize);
    return GetWindowsDirectoryA(szBuffer, cchSize);
}

DWORD WINAPI SeamGetTempPathW(DWORD cchBuffer, LPWSTR wszBuffer)
{
    if (Seams().getTempPath)
        return Seams().getTempPath(cchBuffer, wszBuffer);
    return GetTempPathW(cchBuffer, wszBuffer);
}

LONG WINAPI SeamRegCloseKey(HKEY hKey)
{
    if (Seams().regCloseKey)
        return Seams().regCloseKey(hKey);
    return RegCloseKey(hKey);
}

BOOL WINAPI SeamSetFileAttributesA(LPCSTR szPath, DWORD dwAttributes)
{
    if (Seams().setFileAttributes)
        return Seams().setFileAttributes(szPath, dwAttributes);
    return SetFileAttributesA(szPath, dwAttributes);
}

DWORD WINAPI SeamGetTickCount()
{
    if (Seams().getTickCount)
        return Seams().getTickCount();
    return GetTickCount();
}

BOOL WINAPI SeamReadFile(HANDLE hFile, LPVOID pBuffer, DWORD cbToRead, LPDWORD pcbRead, LPOVERLAPPED pOverlapped)
{
    if (Seams().readFile)
        return Seams().readFile(hFile, pBuffer, cbToRead, pcbRead, pOverlapped);
    return ReadFile(hFile, pBuffer, cbToRead, pcbRead, pOverlapped);
}

BOOL WINAPI SeamWriteFile(HANDLE hFile, LPCVOID pBuffer, DWORD cbToWrite, LPDWORD pcbWritten, LPOVERLAPPED pOverlapped)
{
    if (Seams().writeFile)
        return Seams().writeFile(hFile, pBuffer, cbToWrite, pcbWritten, pOverlapped);
    return WriteFile(hFile, pBuffer, cbToWrite, pcbWritten, pOverlapped);
}

LONG WINAPI SeamRegQueryValueExA(HKEY hKey, LPCSTR szValueName, LPDWORD pReserved, LPDWORD pdwType, LPBYTE pData,
                                 LPDWORD pcbData)
{
    if (Seams().regQueryValueEx)
        return Seams().regQueryValueEx(hKey, szValueName, pReserved, pdwType, pData, pcbData);
    return RegQueryValueExA(hKey, szValueName, pReserved, pdwType, pData, pcbData);
}

BOOL WINAPI SeamCloseHandle(HANDLE hObject)
{
    if (Seams().closeHandle)
        return Seams().closeHandle(hObject);
    return CloseHandle(hObject);
}

HANDLE WINAPI SeamCreateFileW(LPCWSTR wszPath, DWORD dwAccess, DWORD dwShare, LPSECURITY_ATTRIBUTES pSecurity,
                              DWORD dwDisposition, DWORD dwFlags, HANDLE hTemplate)
{
    if (Seams().createFile)
        return Seams().createFile(wszPath, dwAccess, dwShare, pSecurity, dwDisposition, dwFlags, hTemplate);
    return CreateFileW(wszPath, dwAccess, dwShare, pSecurity, dwDisposition, dwFlags, hTemplate);
}

BOOL WINAPI SeamFlushFileBuffers(HANDLE hFile)
{
    if (Seams().flushFileBuffers)
        return Seams().flushFileBuffers(hFile);
    return FlushFileBuffers(hFile);
}

BOOL WINAPI SeamGetFileInformationByHandleEx(HANDLE hFile, FILE_INFO_BY_HANDLE_CLASS infoClass, LPVOID pInfo,
                                             DWORD cbInfo)
{
    if (Seams().getFileInformationByHandleEx)
        return Seams().getFileInformationByHandleEx(hFile, infoClass, pInfo, cbInfo);
    return GetFileInformationByHandleEx(hFile, infoClass, pInfo, cbInfo);
}

BOOL WINAPI SeamSetFileInformationByHandle(HANDLE hFile, FILE_INFO_BY_HANDLE_CLASS infoClass, LPVOID pInfo,
                                           DWORD cbInfo)
{
    if (Seams().setFileInformationByHandle)
        return Seams().setFileInformationByHandle(hFile, infoClass, pInfo, cbInfo);
    return SetFileInformationByHandle(hFile, infoClass, pInfo, cbInfo);
}

HKEY WINAPI SeamSetupDiOpenDevRegKey(HDEVINFO hDevInfo, PSP_DEVINFO_DATA pDevInfoData, DWORD dwScope, DWORD dwProfile,
                                     DWORD dwKeyType, REGSAM samDesired)
{
    if (Seams().openDevRegKey)
        return Seams().openDevRegKey(hDevInfo, pDevInfoData, dwScope, dwProfile, dwKeyType, samDesired);
    return SetupDiOpenDevRegKey(hDevInfo, pDevInfoData, dwScope, dwProfile, dwKeyType, samDesired);
}

LONG WINAPI SeamRegOpenKeyExA(HKEY hKey, LPCSTR szSubKey, DWORD dwOptions, REGSAM samDesired, PHKEY phkResult)
{
    if (Seams().regOpenKeyEx)
        return Seams().regOpenKeyEx(hKey, szSubKey, dwOptions, samDesired, phkResult);
    return RegOpenKeyExA(hKey, szSubKey, dwOptions, samDesired, phkResult);
}

BOOL WINAPI SeamGetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION pInfo)
{
    if (Seams().getFileInformationByHandle)
        return Seams().getFileInformationByHandle(hFile, pInfo);
    return GetFileInformationByHandle(hFile, pInfo);
}

namespace
{
DWORD WINAPI SeamGetTempPath2W(DWORD cchBuffer, LPWSTR wszBuffer)
{
    return Seams().getTempPath2(cchBuffer, wszBuffer);
}
} // namespace

FARPROC WINAPI SeamGetProcAddress(HMODULE hModule, LPCSTR szName)
{
    if (Seams().getTempPath2 && !IS_INTRESOURCE(szName) && lstrcmpA(szName, "GetTempPath2W") == 0)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&SeamGetTempPath2W));
    return GetProcAddress(hModule, szName);
}
