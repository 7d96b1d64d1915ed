#include "app/CTIRNFMain.h"
#include "app/Resources.h"
#include "log/CHandleOwner.h"

#include <windows.h>
#include <intrin.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{
const char kUsageText[] =
    "Syntax: TIRNFuncts.exe <Function to call> <GUID> <FilePrefix> <CheckKey> <CheckKeyValue> "
    "<DeviceSWRegKey> <0|1>\n\n\t\tFunctions available\n\t\t\t\tMAddDS\n\t\t\t\tAddDS\n\t\t\t\tRemoveDS\n\n"
    "\t\tLong file names should be enclosed in quotes\n\n"
    "\t\t<0|1> parameter indicates logging and is optional.  Default is logging on (1).";

bool ReleaseActivationContext(HANDLE hActCtx)
{
    ReleaseActCtx(hActCtx);
    return true;
}

// The box in the look of Common Controls 6, from an activation context of its
// own; without one it is shown all the same.
void ShowUsage()
{
    ACTCTXA actCtx = {};
    actCtx.cbSize = sizeof(actCtx);
    actCtx.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    actCtx.hModule = GetModuleHandleA(NULL);
    actCtx.lpResourceName = MAKEINTRESOURCEA(IDR_USAGE_MANIFEST);
    CHandleOwner<HANDLE, ReleaseActivationContext, 0, -1> context(CreateActCtxA(&actCtx));
    ULONG_PTR cookie = 0;
    bool bActive = context.IsValid() && ActivateActCtx(context.Get(), &cookie);
    MessageBoxA(NULL, kUsageText, "Usage", MB_OK);
    if (bActive)
        DeactivateActCtx(0, cookie);
}

// abort()'s status, which also ends a run whose allocation failed or whose
// stack buffer was overrun.
const UINT kRuntimeEndStatus = 3;

// A silent installer must not be held by a box that nobody sees: no
// critical-error box ("There is no disk in the drive"), no fault box, and
// abort() writes its message to the standard error of this windowless
// program, not to a "Runtime Error" box.
void ShowNoErrorBoxes()
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);
    _set_error_mode(_OUT_TO_STDERR);
}
} // namespace

// The stack protector's guard and its failure are the program's own. libssp's
// draw of the guard loads advapi32 and a cryptographic provider into every
// run, a refused call's too, and its failure ends in an illegal instruction:
// a crash, which Wine's debugger shows in a box. libssp still serves the
// checked buffer calls of _FORTIFY_SOURCE, whose failure ends here too.
// Until the draw, the guard holds the value Microsoft's runtime starts from.
extern "C" uintptr_t __stack_chk_guard;
#ifdef _WIN64
uintptr_t __stack_chk_guard = 0x00002B992DDFA232;
#else
uintptr_t __stack_chk_guard = 0xBB40E64E;
#endif

// Nothing more runs in a process whose stack or buffer was overrun.
extern "C" __attribute__((noreturn)) void __stack_chk_fail()
{
    TerminateProcess(GetCurrentProcess(), kRuntimeEndStatus);
    __builtin_unreachable();
}

extern "C" __attribute__((noreturn)) void __chk_fail()
{
    __stack_chk_fail();
}

namespace
{
// One step of a 64-bit finaliser: every bit of the result depends on every
// bit of the value.
__attribute__((no_stack_protector)) inline ULONGLONG Scramble(ULONGLONG ullValue)
{
    ullValue = (ullValue ^ (ullValue >> 30)) * 0xBF58476D1CE4E5B9ull;
    ullValue = (ullValue ^ (ullValue >> 27)) * 0x94D049BB133111EBull;
    return ullValue ^ (ullValue >> 31);
}

// Drawn before WinMain from what the /GS cookie of Microsoft's runtime draws
// on (time, counter, process, thread, the stack's place) and the processor's
// cycle count. Each is scrambled into the draw in turn rather than XORed:
// the system time and the counter may run on one clock, and a process and
// its first thread get neighbouring ids, so XORed they cancel and a 32-bit
// guard took only a few values. The low byte stays zero, so that an overrun
// by a string copy stops at the guard.
__attribute__((constructor, no_stack_protector)) void DrawStackGuard()
{
    FILETIME time;
    GetSystemTimeAsFileTime(&time);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    const ULONGLONG ullInputs[] = {
        static_cast<ULONGLONG>(time.dwHighDateTime) << 32 | time.dwLowDateTime,
        static_cast<ULONGLONG>(counter.QuadPart),
        static_cast<ULONGLONG>(GetCurrentProcessId()) << 32 | GetCurrentThreadId(),
        reinterpret_cast<uintptr_t>(&time),
        __rdtsc(),
    };
    ULONGLONG ullDraw = 0;
    for (ULONGLONG ullInput : ullInputs)
        ullDraw = Scramble(ullDraw ^ ullInput);
    if (sizeof(uintptr_t) < sizeof(ullDraw))
        ullDraw ^= ullDraw >> 32;
    __stack_chk_guard = static_cast<uintptr_t>(ullDraw) & ~static_cast<uintptr_t>(0xFF);
}
} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    ShowNoErrorBoxes();
    // The runtime's own line takes bytes of 0x80 and above for blanks, so the
    // line is taken from the process command line here.
    const char* szProcessLine = GetCommandLineA();
    // Two terminators, so that the double-byte routines stop after a
    // trailing lead byte too.
    std::vector<char> line(szProcessLine, szProcessLine + std::strlen(szProcessLine));
    line.resize(line.size() + 2, '\0');
    char* szCommandLine = CTIRNFMain::SkipProgramName(line.data());

    if (CTIRNFMain::IsHelpRequest(szCommandLine))
    {
        ShowUsage();
        return 0;
    }

    CTIRNFMain main;
    if (!main.Run(szCommandLine))
        std::exit(1);
    return 0;
}
