#include "app/CTIRNFMain.h"

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
}

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
        MessageBoxA(NULL, kUsageText, "Usage", MB_OK);
        return 0;
    }

    CTIRNFMain main;
    if (!main.Run(szCommandLine))
        std::exit(1);
    return 0;
}
