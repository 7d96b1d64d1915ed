#include "app/CTIRNFMain.h"
#include "app/Resources.h"

#include <windows.h>

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

// The box in the look of Common Controls 6, from an activation context of its
// own; without one it is shown all the same.
void ShowUsage()
{
    ACTCTXA actCtx = {};
    actCtx.cbSize = sizeof(actCtx);
    actCtx.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    actCtx.hModule = GetModuleHandleA(NULL);
    actCtx.lpResourceName = MAKEINTRESOURCEA(IDR_USAGE_MANIFEST);
    HANDLE hActCtx = CreateActCtxA(&actCtx);
    ULONG_PTR cookie = 0;
    bool bActive = hActCtx != INVALID_HANDLE_VALUE && ActivateActCtx(hActCtx, &cookie);
    MessageBoxA(NULL, kUsageText, "Usage", MB_OK);
    if (bActive)
        DeactivateActCtx(0, cookie);
    if (hActCtx != INVALID_HANDLE_VALUE)
        ReleaseActCtx(hActCtx);
}
} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
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
