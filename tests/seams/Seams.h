#ifndef TIRN_TESTS_SEAMS_H
#define TIRN_TESTS_SEAMS_H

// Faults that Wine cannot produce, injected into a test build of the
// product sources. The shipped exe is built without this header.

#include <windows.h>
#include <setupapi.h>

#include <functional>

struct SSeams
{
    std::function<HDEVINFO(const GUID*, PCSTR, HWND, DWORD)> getClassDevs;
    std::function<BOOL(HDEVINFO, DWORD, PSP_DEVINFO_DATA)> enumDeviceInfo;
    std::function<UINT(LPSTR, UINT)> getWindowsDirectory;
    std::function<DWORD(DWORD, LPWSTR)> getTempPath;
    std::function<LONG(HKEY)> regCloseKey;
    std::function<BOOL(LPCSTR, DWORD)> setFileAttributes;
    std::function<DWORD()> getTickCount;
    std::function<BOOL(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED)> readFile;
    std::function<BOOL(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED)> writeFile;
    std::function<LONG(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD)> regQueryValueEx;
    std::function<BOOL(HANDLE)> closeHandle;
    std::function<HANDLE(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE)> createFile;
    std::function<BOOL(HANDLE)> flushFileBuffers;
    std::function<HKEY(HDEVINFO, PSP_DEVINFO_DATA, DWORD, DWORD, DWORD, REGSAM)> openDevRegKey;
    std::function<LONG(HKEY, LPCSTR, DWORD, REGSAM, PHKEY)> regOpenKeyEx;
    // Set, kernel32 has GetTempPath2W, and this answers it.
    std::function<DWORD(DWORD, LPWSTR)> getTempPath2;
    std::function<BOOL(HANDLE, LPBY_HANDLE_FILE_INFORMATION)> getFileInformationByHandle;
    std::function<BOOL(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD)> getFileInformationByHandleEx;
    std::function<BOOL(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD)> setFileInformationByHandle;
};

// Empty members call the platform.
SSeams& Seams();
void ResetSeams();

HDEVINFO WINAPI SeamSetupDiGetClassDevsA(const GUID* pGuid, PCSTR szEnumerator, HWND hwnd, DWORD dwFlags);
BOOL WINAPI SeamSetupDiEnumDeviceInfo(HDEVINFO hDevInfo, DWORD dwIndex, PSP_DEVINFO_DATA pDevInfoData);
UINT WINAPI SeamGetWindowsDirectoryA(LPSTR szBuffer, UINT cchSize);
DWORD WINAPI SeamGetTempPathW(DWORD cchBuffer, LPWSTR wszBuffer);
LONG WINAPI SeamRegCloseKey(HKEY hKey);
BOOL WINAPI SeamSetFileAttributesA(LPCSTR szPath, DWORD dwAttributes);
DWORD WINAPI SeamGetTickCount();
BOOL WINAPI SeamReadFile(HANDLE hFile, LPVOID pBuffer, DWORD cbToRead, LPDWORD pcbRead, LPOVERLAPPED pOverlapped);
BOOL WINAPI SeamWriteFile(HANDLE hFile, LPCVOID pBuffer, DWORD cbToWrite, LPDWORD pcbWritten, LPOVERLAPPED pOverlapped);
LONG WINAPI SeamRegQueryValueExA(HKEY hKey, LPCSTR szValueName, LPDWORD pReserved, LPDWORD pdwType, LPBYTE pData,
                                 LPDWORD pcbData);

BOOL WINAPI SeamCloseHandle(HANDLE hObject);
HANDLE WINAPI SeamCreateFileW(LPCWSTR wszPath, DWORD dwAccess, DWORD dwShare, LPSECURITY_ATTRIBUTES pSecurity,
                              DWORD dwDisposition, DWORD dwFlags, HANDLE hTemplate);
BOOL WINAPI SeamFlushFileBuffers(HANDLE hFile);
BOOL WINAPI SeamGetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION pInfo);
FARPROC WINAPI SeamGetProcAddress(HMODULE hModule, LPCSTR szName);
BOOL WINAPI SeamGetFileInformationByHandleEx(HANDLE hFile, FILE_INFO_BY_HANDLE_CLASS infoClass, LPVOID pInfo,
                                             DWORD cbInfo);
BOOL WINAPI SeamSetFileInformationByHandle(HANDLE hFile, FILE_INFO_BY_HANDLE_CLASS infoClass, LPVOID pInfo,
                                           DWORD cbInfo);
HKEY WINAPI SeamSetupDiOpenDevRegKey(HDEVINFO hDevInfo, PSP_DEVINFO_DATA pDevInfoData, DWORD dwScope, DWORD dwProfile,
                                     DWORD dwKeyType, REGSAM samDesired);
LONG WINAPI SeamRegOpenKeyExA(HKEY hKey, LPCSTR szSubKey, DWORD dwOptions, REGSAM samDesired, PHKEY phkResult);

#ifdef TIRN_SEAM_MACROS
#define SetupDiGetClassDevsA SeamSetupDiGetClassDevsA
#define SetupDiEnumDeviceInfo SeamSetupDiEnumDeviceInfo
#define GetWindowsDirectoryA SeamGetWindowsDirectoryA
#define GetTempPathW SeamGetTempPathW
#define RegCloseKey SeamRegCloseKey
#define SetFileAttributesA SeamSetFileAttributesA
#define GetTickCount SeamGetTickCount
#define ReadFile SeamReadFile
#define WriteFile SeamWriteFile
#define RegQueryValueExA SeamRegQueryValueExA
#define CloseHandle SeamCloseHandle
#define CreateFileW SeamCreateFileW
#define FlushFileBuffers SeamFlushFileBuffers
#define GetProcAddress SeamGetProcAddress
#define GetFileInformationByHandleEx SeamGetFileInformationByHandleEx
#define SetFileInformationByHandle SeamSetFileInformationByHandle
#define SetupDiOpenDevRegKey SeamSetupDiOpenDevRegKey
#define RegOpenKeyExA SeamRegOpenKeyExA
#define GetFileInformationByHandle SeamGetFileInformationByHandle
#endif

#endif
