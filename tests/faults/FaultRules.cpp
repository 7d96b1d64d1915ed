#include "FaultRules.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace
{
constexpr intptr_t kInvalid = -1; // INVALID_HANDLE_VALUE, INVALID_FILE_ATTRIBUTES, WAIT_FAILED, ...

#define UNTOUCHED(name) {#name, FaultKind::Untouched, 0, 0, 0, false}
#define PASSED(name) {#name, FaultKind::Passed, 0, 0, 0, false}
#define LASTERROR(name, value, error, bytes) {#name, FaultKind::LastError, value, error, bytes, false}
#define RETURNED(name, error, bytes) {#name, FaultKind::Returned, error, error, bytes, false}
#define CRT(name, value, error) {#name, FaultKind::Errno, value, error, 0, false}
#define CLOSE(name, kind, value, error, bytes) {#name, FaultKind::kind, value, error, bytes, true}

const FaultRule kRules[] = {
    // kernel32: files
    LASTERROR(CreateFileA, kInvalid, ERROR_ACCESS_DENIED, 28),
    LASTERROR(CreateFileW, kInvalid, ERROR_ACCESS_DENIED, 28),
    LASTERROR(ReadFile, FALSE, ERROR_READ_FAULT, 20),
    LASTERROR(WriteFile, FALSE, ERROR_DISK_FULL, 20),
    LASTERROR(FlushFileBuffers, FALSE, ERROR_WRITE_FAULT, 4),
    CLOSE(CloseHandle, LastError, FALSE, ERROR_DISK_FULL, 4),
    LASTERROR(DeleteFileA, FALSE, ERROR_ACCESS_DENIED, 4),
    LASTERROR(DeleteFileW, FALSE, ERROR_ACCESS_DENIED, 4),
    LASTERROR(MoveFileA, FALSE, ERROR_ACCESS_DENIED, 8),
    LASTERROR(MoveFileExA, FALSE, ERROR_ACCESS_DENIED, 12),
    LASTERROR(MoveFileExW, FALSE, ERROR_ACCESS_DENIED, 12),
    LASTERROR(ReplaceFileA, FALSE, ERROR_UNABLE_TO_REMOVE_REPLACED, 24),
    LASTERROR(CopyFileA, FALSE, ERROR_ACCESS_DENIED, 12),
    LASTERROR(CreateDirectoryA, FALSE, ERROR_ACCESS_DENIED, 8),
    LASTERROR(RemoveDirectoryA, FALSE, ERROR_ACCESS_DENIED, 4),
    LASTERROR(GetFileAttributesA, kInvalid, ERROR_ACCESS_DENIED, 4),
    LASTERROR(GetFileAttributesW, kInvalid, ERROR_ACCESS_DENIED, 4),
    LASTERROR(GetFileAttributesExA, FALSE, ERROR_ACCESS_DENIED, 12),
    LASTERROR(SetFileAttributesA, FALSE, ERROR_ACCESS_DENIED, 8),
    LASTERROR(GetFileInformationByHandle, FALSE, ERROR_ACCESS_DENIED, 8),
    LASTERROR(GetFileInformationByHandleEx, FALSE, ERROR_ACCESS_DENIED, 16),
    LASTERROR(SetFileInformationByHandle, FALSE, ERROR_ACCESS_DENIED, 16),
    LASTERROR(ReOpenFile, kInvalid, ERROR_ACCESS_DENIED, 16),
    LASTERROR(GetFileSizeEx, FALSE, ERROR_ACCESS_DENIED, 8),
    LASTERROR(SetFilePointerEx, FALSE, ERROR_INVALID_PARAMETER, 20),
    LASTERROR(SetEndOfFile, FALSE, ERROR_DISK_FULL, 4),
    LASTERROR(LockFileEx, FALSE, ERROR_LOCK_VIOLATION, 24),
    LASTERROR(UnlockFileEx, FALSE, ERROR_NOT_LOCKED, 20),
    LASTERROR(FindFirstFileA, kInvalid, ERROR_ACCESS_DENIED, 8),
    LASTERROR(FindNextFileA, FALSE, ERROR_ACCESS_DENIED, 8),
    CLOSE(FindClose, LastError, FALSE, ERROR_INVALID_HANDLE, 4),
    LASTERROR(GetTempPathA, 0, ERROR_ACCESS_DENIED, 8),
    LASTERROR(GetTempPathW, 0, ERROR_ACCESS_DENIED, 8),
    LASTERROR(GetTempPath2W, 0, ERROR_ACCESS_DENIED, 8),
    LASTERROR(GetWindowsDirectoryA, 0, ERROR_ACCESS_DENIED, 8),
    LASTERROR(GetSystemWindowsDirectoryA, 0, ERROR_ACCESS_DENIED, 8),
    LASTERROR(GetStdHandle, kInvalid, ERROR_INVALID_HANDLE, 4),
    LASTERROR(GetFileType, FILE_TYPE_UNKNOWN, ERROR_INVALID_HANDLE, 4),
    LASTERROR(MultiByteToWideChar, 0, ERROR_NO_UNICODE_TRANSLATION, 24),
    LASTERROR(WideCharToMultiByte, 0, ERROR_NO_UNICODE_TRANSLATION, 32),
    // kernel32: modules, memory, activation contexts
    LASTERROR(LoadLibraryA, 0, ERROR_MOD_NOT_FOUND, 4),
    LASTERROR(LoadLibraryW, 0, ERROR_MOD_NOT_FOUND, 4),
    LASTERROR(LoadLibraryExA, 0, ERROR_MOD_NOT_FOUND, 12),
    LASTERROR(LoadLibraryExW, 0, ERROR_MOD_NOT_FOUND, 12),
    LASTERROR(GetProcAddress, 0, ERROR_PROC_NOT_FOUND, 8),
    LASTERROR(GetModuleHandleA, 0, ERROR_MOD_NOT_FOUND, 4),
    LASTERROR(GetModuleHandleW, 0, ERROR_MOD_NOT_FOUND, 4),
    LASTERROR(GetModuleFileNameA, 0, ERROR_INSUFFICIENT_BUFFER, 12),
    LASTERROR(GetModuleFileNameW, 0, ERROR_NOT_ENOUGH_MEMORY, 12),
    LASTERROR(FreeLibrary, FALSE, ERROR_INVALID_HANDLE, 4),
    LASTERROR(LocalAlloc, 0, ERROR_NOT_ENOUGH_MEMORY, 8),
    LASTERROR(VirtualProtect, FALSE, ERROR_INVALID_ADDRESS, 16),
    LASTERROR(VirtualQuery, 0, ERROR_INVALID_PARAMETER, 12),
    LASTERROR(CreateActCtxA, kInvalid, ERROR_RESOURCE_TYPE_NOT_FOUND, 4),
    LASTERROR(ActivateActCtx, FALSE, ERROR_INVALID_HANDLE, 8),
    LASTERROR(DeactivateActCtx, FALSE, ERROR_INVALID_HANDLE, 8),
    LASTERROR(AddVectoredExceptionHandler, 0, ERROR_NOT_ENOUGH_MEMORY, 8),
    // kernel32: synchronisation, threads, processes (the runtime's start-up)
    LASTERROR(CreateEventA, 0, ERROR_NOT_ENOUGH_MEMORY, 16),
    LASTERROR(CreateSemaphoreA, 0, ERROR_NOT_ENOUGH_MEMORY, 16),
    LASTERROR(CreateSemaphoreW, 0, ERROR_NOT_ENOUGH_MEMORY, 16),
    LASTERROR(CreateMutexA, 0, ERROR_ACCESS_DENIED, 12),
    LASTERROR(CreateMutexW, 0, ERROR_ACCESS_DENIED, 12),
    LASTERROR(ReleaseMutex, FALSE, ERROR_NOT_OWNER, 4),
    LASTERROR(SetEvent, FALSE, ERROR_INVALID_HANDLE, 4),
    LASTERROR(ResetEvent, FALSE, ERROR_INVALID_HANDLE, 4),
    LASTERROR(ReleaseSemaphore, FALSE, ERROR_INVALID_HANDLE, 12),
    LASTERROR(WaitForSingleObject, kInvalid, ERROR_INVALID_HANDLE, 8),
    LASTERROR(WaitForMultipleObjects, kInvalid, ERROR_INVALID_HANDLE, 16),
    LASTERROR(DuplicateHandle, FALSE, ERROR_ACCESS_DENIED, 28),
    LASTERROR(GetHandleInformation, FALSE, ERROR_INVALID_HANDLE, 8),
    LASTERROR(OpenProcess, 0, ERROR_ACCESS_DENIED, 12),
    LASTERROR(TerminateProcess, FALSE, ERROR_ACCESS_DENIED, 8),
    LASTERROR(GetProcessAffinityMask, FALSE, ERROR_ACCESS_DENIED, 12),
    LASTERROR(SetProcessAffinityMask, FALSE, ERROR_ACCESS_DENIED, 8),
    LASTERROR(GetThreadContext, FALSE, ERROR_ACCESS_DENIED, 8),
    LASTERROR(SetThreadContext, FALSE, ERROR_ACCESS_DENIED, 8),
    LASTERROR(SuspendThread, kInvalid, ERROR_ACCESS_DENIED, 4),
    LASTERROR(ResumeThread, kInvalid, ERROR_ACCESS_DENIED, 4),
    LASTERROR(GetThreadPriority, THREAD_PRIORITY_ERROR_RETURN, ERROR_ACCESS_DENIED, 4),
    LASTERROR(SetThreadPriority, FALSE, ERROR_ACCESS_DENIED, 8),
    LASTERROR(TlsAlloc, kInvalid, ERROR_NOT_ENOUGH_MEMORY, 0),
    LASTERROR(TlsSetValue, FALSE, ERROR_NOT_ENOUGH_MEMORY, 8),
    LASTERROR(TlsFree, FALSE, ERROR_INVALID_PARAMETER, 4),
    // kernel32 calls that have no failure
    PASSED(GetLastError), PASSED(SetLastError), PASSED(GetCurrentProcess), PASSED(GetCurrentProcessId),
    PASSED(GetCurrentThread), PASSED(GetCurrentThreadId), PASSED(GetCommandLineA), PASSED(GetStartupInfoA),
    PASSED(GetSystemTimeAsFileTime), PASSED(GetTickCount), PASSED(GetTickCount64), PASSED(QueryPerformanceCounter),
    PASSED(InitializeCriticalSection), PASSED(DeleteCriticalSection), PASSED(EnterCriticalSection),
    PASSED(LeaveCriticalSection), PASSED(TryEnterCriticalSection), PASSED(TlsGetValue), PASSED(IsDebuggerPresent),
    PASSED(IsDBCSLeadByteEx), PASSED(OutputDebugStringA), PASSED(RaiseException), PASSED(Sleep), PASSED(SetErrorMode),
    PASSED(SetUnhandledExceptionFilter), PASSED(RemoveVectoredExceptionHandler), PASSED(LocalFree),
    PASSED(ReleaseActCtx), PASSED(ExitProcess),
    // the 64-bit unwinder: called while an exception passes, never failed
    UNTOUCHED(RtlCaptureContext), UNTOUCHED(RtlLookupFunctionEntry), UNTOUCHED(RtlUnwindEx),
    UNTOUCHED(RtlVirtualUnwind), UNTOUCHED(__C_specific_handler),
    // setupapi, advapi32, user32 (delay-loaded)
    LASTERROR(SetupDiGetClassDevsA, kInvalid, ERROR_NOT_ENOUGH_MEMORY, 16),
    LASTERROR(SetupDiEnumDeviceInfo, FALSE, ERROR_NOT_ENOUGH_MEMORY, 12),
    LASTERROR(SetupDiGetDeviceRegistryPropertyA, FALSE, ERROR_NOT_ENOUGH_MEMORY, 28),
    LASTERROR(SetupDiOpenDevRegKey, kInvalid, ERROR_ACCESS_DENIED, 24),
    CLOSE(SetupDiDestroyDeviceInfoList, LastError, FALSE, ERROR_INVALID_HANDLE, 4),
    RETURNED(RegOpenKeyExA, ERROR_ACCESS_DENIED, 20),
    RETURNED(RegOpenKeyA, ERROR_ACCESS_DENIED, 12),
    RETURNED(RegQueryValueExA, ERROR_ACCESS_DENIED, 24),
    CLOSE(RegCloseKey, Returned, ERROR_INVALID_HANDLE, ERROR_INVALID_HANDLE, 4),
    LASTERROR(MessageBoxA, 0, ERROR_NOT_ENOUGH_MEMORY, 16),
    // msvcrt: files and directories
    CRT(_findfirst, -1, EACCES), CRT(_findfirst64, -1, EACCES), CRT(_findnext, -1, EACCES),
    CRT(_findnext64, -1, EACCES), CLOSE(_findclose, Errno, -1, EINVAL, 0), CRT(_mkdir, -1, EACCES), CRT(_rmdir, -1, EACCES),
    CRT(remove, -1, EACCES), CRT(rename, -1, EACCES), CRT(_unlink, -1, EACCES), CRT(_open, -1, EACCES),
    CRT(_close, -1, EIO), CRT(_read, -1, EIO), CRT(_write, -1, ENOSPC), CRT(fopen, 0, EACCES),
    CRT(fclose, EOF, EIO), CRT(fflush, EOF, ENOSPC), CRT(fputs, EOF, ENOSPC), CRT(fputc, EOF, ENOSPC),
    CRT(fwrite, 0, ENOSPC), CRT(fprintf, -1, ENOSPC), CRT(vfprintf, -1, ENOSPC),
    // msvcrt: data the exe reads, and jumps that must see the caller's own frame
    UNTOUCHED(__initenv), UNTOUCHED(_acmdln), UNTOUCHED(_commode), UNTOUCHED(_fmode), UNTOUCHED(_iob),
    UNTOUCHED(__mb_cur_max), UNTOUCHED(_setjmp), UNTOUCHED(_setjmp3), UNTOUCHED(longjmp),
    // msvcrt: everything else is memory, text and the runtime's own start and end: never failed (a failed
    // allocation ends the run by design)
    PASSED(___lc_codepage_func), PASSED(___mb_cur_max_func), PASSED(__getmainargs), PASSED(__iob_func),
    PASSED(__p__acmdln), PASSED(__p__commode), PASSED(__p__fmode), PASSED(__set_app_type), PASSED(__setusermatherr),
    PASSED(_amsg_exit), PASSED(_beginthreadex), PASSED(_cexit), PASSED(_endthreadex), PASSED(_errno),
    PASSED(_initterm), PASSED(_ismbblead), PASSED(_mbscmp), PASSED(_mbsdec), PASSED(_mbslwr), PASSED(_mbsnbicmp),
    PASSED(_mbsrchr), PASSED(_mbstok), PASSED(_onexit), PASSED(_set_error_mode), PASSED(_strdate), PASSED(_strdup),
    PASSED(_stricmp), PASSED(_strnicmp), PASSED(_strtime), PASSED(_ultoa), PASSED(abort), PASSED(atoi),
    PASSED(calloc), PASSED(exit), PASSED(free), PASSED(localeconv), PASSED(malloc), PASSED(memchr), PASSED(memcmp),
    PASSED(memcpy), PASSED(memmove), PASSED(memset), PASSED(printf), PASSED(realloc), PASSED(setlocale),
    PASSED(signal), PASSED(strchr), PASSED(strcmp), PASSED(strcpy), PASSED(strerror), PASSED(strlen),
    PASSED(strncmp), PASSED(strncpy), PASSED(strspn), PASSED(wcschr), PASSED(wcslen),
};
} // namespace

const FaultRule* FindFaultRule(const char* szName)
{
    for (const FaultRule& rule : kRules)
        if (strcmp(rule.szName, szName) == 0)
            return &rule;
    return nullptr;
}
