// Starting the product under test and watching its message boxes.
#pragma once

#include <windows.h>

#include <set>
#include <string>
#include <vector>

// Returned by the Run functions when the process could not be started or
// did not end in time.
constexpr DWORD kRunFailed = 0xFFFFFFFF;

// The environment variable name as a Windows path: a Unix path "/a/b"
// becomes "Z:\a\b". Fails the test and returns "" when it is not set.
std::string EnvPath(const char* name);

// EnvPath("TIRN_EXE").
std::string ProductExePath();

struct RunOptions
{
    // "NAME=value" added to or replacing the inherited environment;
    // "NAME" alone removes the variable. LC_ALL here does not change the
    // child's code page: Wine gives it the test process's one.
    std::vector<std::string> env;
    DWORD timeoutMs = 60000;
    // Handed to the child as its standard output and error (inheritable),
    // as a shell's redirection does; none when null.
    HANDLE stdOutput = nullptr;
};

// Starts ProductExePath() with exactly this command line (program name
// part included) and waits for it.
DWORD RunRaw(const std::string& commandLine, const RunOptions& options = {});

// Starts exe (any program, e.g. an installer) with this command line and
// waits for it.
DWORD RunProgram(const std::string& exe, const std::string& commandLine, const RunOptions& options = {});

// RunRaw("TIRNFuncts.exe " + args). In a TEST body testing::Test::Run hides
// it: call it as ::Run.
DWORD Run(const std::string& args, const RunOptions& options = {});

// Starts "TIRNFuncts.exe " + args for every entry at once, then waits for
// all of them; the exit statuses in the same order.
std::vector<DWORD> RunTogether(const std::vector<std::string>& argsList, const RunOptions& options = {});

// Starts ProductExePath() with this command line as its debugger and waits
// for it; *dlls gets the file names, lower case, of the DLLs it loaded.
DWORD RunWatchingDlls(const std::string& commandLine, std::set<std::string>* dlls);

struct WatchedRun
{
    DWORD exitCode = kRunFailed;
    // Class and title of each visible top-level window, of any process,
    // that appeared while the program ran; each was closed.
    std::vector<std::string> windows;
};

// Starts exe like RunProgram and, until it ends, looks for windows: a box
// that holds it is found before it can end.
WatchedRun RunWatchingWindows(const std::string& exe, const std::string& commandLine, const RunOptions& options = {});

struct UsageBox
{
    bool found = false;
    std::string text;
    int okButtons = 0;    // visible buttons with id IDOK and text "OK"
    int otherButtons = 0; // any other visible buttons
    bool hasIcon = false;
    DWORD exitCode = 0;
};

// Starts the product like RunRaw, waits for its message box titled "Usage",
// reads it and closes it with OK, then waits for the process to end.
UsageBox RunExpectingUsage(const std::string& commandLine, DWORD timeoutMs = 20000);
UsageBox RunExpectingUsage(const std::string& commandLine, const RunOptions& options);

// True in the runs where the 32-bit exe runs on a 64-bit Windows
// (TIRN_WINE_ARCH=wow64).
bool Wow64Run();

struct MachineRun
{
    USHORT processMachine = 0; // IMAGE_FILE_MACHINE_UNKNOWN when not a WoW64 process
    USHORT nativeMachine = 0;
    DWORD exitCode = kRunFailed;
};

// Starts ProductExePath() with this command line, asks kernel32 which
// machine it runs on before it runs, then lets it run to its end.
MachineRun RunAskingMachine(const std::string& commandLine);
