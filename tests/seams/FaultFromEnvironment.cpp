// The exe's test build: the fault that TIRN_FAULT names is met at the first
// step of the device walk, with the log open and its turn held; "mid-copy"
// ends the process as it has written half of its first write, which with
// logging off is a data source's copy.

#include "seams/Seams.h"

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>
#include <string>

extern "C" uintptr_t __stack_chk_guard;

namespace
{

// The stack protector ends the run when this returns.
__attribute__((noinline)) void OverrunStackBuffer(size_t cbBeyond)
{
    char szBuffer[16];
    volatile char* p = szBuffer;
    for (size_t i = 0; i < sizeof(szBuffer) + cbBeyond; ++i)
        p[i] = 'x';
}

BOOL Fail(const std::string& strFault)
{
    if (strFault == "alloc")
    {
        volatile size_t cbTooMuch = std::numeric_limits<size_t>::max() / 2;
        ::operator delete(::operator new(cbTooMuch));
    }
    else if (strFault == "overrun")
    {
        OverrunStackBuffer(64);
    }
    else if (strFault == "modes")
    {
        // What Wine does not show: the process's error modes as the status.
        ExitProcess(GetErrorMode() | static_cast<UINT>(_set_error_mode(_REPORT_ERRMODE)) << 16);
    }
    else if (strFault == "guard")
    {
        // The stack guard above its low byte, which must be zero.
        ExitProcess((__stack_chk_guard & 0xFF) == 0 ? static_cast<UINT>(__stack_chk_guard >> 8) : 0);
    }
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
}

struct SFaultFromEnvironment
{
    SFaultFromEnvironment()
    {
        char szFault[32];
        DWORD cch = GetEnvironmentVariableA("TIRN_FAULT", szFault, sizeof(szFault));
        if (cch == 0 || cch >= sizeof(szFault))
            return;
        const std::string strFault(szFault);
        if (strFault == "mid-copy")
        {
            Seams().writeFile =
                [](HANDLE hFile, LPCVOID pBuffer, DWORD cb, LPDWORD pcbWritten, LPOVERLAPPED pOverlapped)
            {
                WriteFile(hFile, pBuffer, cb / 2, pcbWritten, pOverlapped);
                TerminateProcess(GetCurrentProcess(), 9);
                return FALSE;
            };
            return;
        }
        Seams().enumDeviceInfo = [strFault](HDEVINFO, DWORD, PSP_DEVINFO_DATA) { return Fail(strFault); };
    }
} g_fault;

} // namespace
