#include "TestProcess.h"

#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace
{

const DWORD kPollMs = 50;
const DWORD kCloseMs = 5000; // at least this long for the exit after OK

std::string EnvName(const std::string& entry)
{
    // Names such as "=C:" start with '='.
    size_t eq = entry.find('=', 1);
    return eq == std::string::npos ? entry : entry.substr(0, eq);
}

// Empty when nothing is to change: the child then inherits as is.
std::string BuildEnvironment(const std::vector<std::string>& changes)
{
    if (changes.empty())
        return std::string();

    std::vector<std::string> entries;
    if (char* block = GetEnvironmentStringsA())
    {
        for (const char* p = block; *p; p += lstrlenA(p) + 1)
            entries.emplace_back(p);
        FreeEnvironmentStringsA(block);
    }

    for (const std::string& change : changes)
    {
        const std::string name = EnvName(change);
        const bool remove = change.find('=', 1) == std::string::npos;
        bool replaced = false;
        for (auto it = entries.begin(); it != entries.end();)
        {
            if (lstrcmpiA(EnvName(*it).c_str(), name.c_str()) != 0)
            {
                ++it;
                continue;
            }
            if (remove || replaced)
            {
                it = entries.erase(it);
                continue;
            }
            *it = change;
            replaced = true;
            ++it;
        }
        if (!remove && !replaced)
            entries.push_back(change);
    }

    std::string block;
    for (const std::string& entry : entries)
        block += entry + '\0';
    block += '\0';
    return block;
}

bool StartProcess(const std::string& exe, const std::string& commandLine, const std::vector<std::string>& env,
                  PROCESS_INFORMATION& pi, DWORD flags = 0, HANDLE stdOutput = nullptr)
{
    if (exe.empty())
        return false;

    std::string envBlock = BuildEnvironment(env);
    std::vector<char> cmd(commandLine.begin(), commandLine.end());
    cmd.push_back('\0');

    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    if (stdOutput != nullptr)
    {
        si.dwFlags = STARTF_USESTDHANDLES;
        // Both, as installers and shells hand them: a 32-bit child of a
        // 32-bit Wine process got no standard output without an error one.
        si.hStdOutput = stdOutput;
        si.hStdError = stdOutput;
    }
    ZeroMemory(&pi, sizeof(pi));
    // Under load Wine now and then fails to start a process at all.
    BOOL started = FALSE;
    for (int attempt = 0; attempt < 3 && !started; ++attempt)
    {
        started = CreateProcessA(exe.c_str(), cmd.data(), nullptr, nullptr, stdOutput != nullptr, flags,
                                 envBlock.empty() ? nullptr : &envBlock[0], nullptr, &si, &pi);
        if (!started && GetLastError() != ERROR_INTERNAL_ERROR)
            break;
    }
    if (!started)
    {
        ADD_FAILURE() << "CreateProcessA(" << exe << ") failed: " << GetLastError()
                      << "\n  command line: " << commandLine;
        return false;
    }
    return true;
}

bool StartProduct(const std::string& commandLine, const std::vector<std::string>& env, PROCESS_INFORMATION& pi)
{
    return StartProcess(ProductExePath(), commandLine, env, pi);
}

void Close(PROCESS_INFORMATION& pi)
{
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    ZeroMemory(&pi, sizeof(pi));
}

DWORD ExitCodeOf(HANDLE hProcess)
{
    DWORD code = kRunFailed;
    if (!GetExitCodeProcess(hProcess, &code))
        code = kRunFailed;
    return code;
}

DWORD Remaining(ULONGLONG deadline)
{
    ULONGLONG now = GetTickCount64();
    return now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
}

std::string WindowText(HWND hwnd)
{
    int len = GetWindowTextLengthA(hwnd);
    std::string text(len + 1, '\0');
    len = GetWindowTextA(hwnd, &text[0], len + 1);
    text.resize(len > 0 ? len : 0);
    return text;
}

std::string ClassOf(HWND hwnd)
{
    char name[256] = {};
    GetClassNameA(hwnd, name, sizeof(name));
    return name;
}

struct WindowList
{
    DWORD pid;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM lParam)
{
    auto* list = reinterpret_cast<WindowList*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (list->pid == 0 || pid == list->pid)
        list->windows.push_back(hwnd);
    return TRUE;
}

// What the process shows instead, for the failure message.
std::string DescribeWindowsOf(DWORD pid)
{
    WindowList list{pid, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&list));
    std::ostringstream out;
    for (HWND hwnd : list.windows)
        out << "\n  window class \"" << ClassOf(hwnd) << "\" title \"" << WindowText(hwnd) << "\""
            << (IsWindowVisible(hwnd) ? "" : " (hidden)");
    if (list.windows.empty())
        out << "\n  no windows";
    return out.str();
}

HWND FindUsageBox(DWORD pid)
{
    HWND hwnd = nullptr;
    while ((hwnd = FindWindowExA(nullptr, hwnd, "#32770", "Usage")) != nullptr)
    {
        DWORD owner = 0;
        GetWindowThreadProcessId(hwnd, &owner);
        // Until it is shown, the box may still be filling in its controls.
        if (owner == pid && IsWindowVisible(hwnd))
            return hwnd;
    }
    return nullptr;
}

void InspectBox(HWND hwnd, UsageBox& box)
{
    if (HWND hText = GetDlgItem(hwnd, 0xFFFF))
    {
        int len = GetWindowTextLengthA(hText);
        std::string text(len + 1, '\0');
        len = GetDlgItemTextA(hwnd, 0xFFFF, &text[0], len + 1);
        text.resize(len);
        box.text = text;
    }

    WindowList children{0, {}};
    EnumChildWindows(hwnd, CollectWindow, reinterpret_cast<LPARAM>(&children));
    for (HWND child : children.windows)
    {
        // Wine's box keeps the unused buttons and the icon as hidden controls.
        const LONG style = GetWindowLongA(child, GWL_STYLE);
        if (!(style & WS_VISIBLE))
            continue;
        const std::string cls = ClassOf(child);
        if (lstrcmpiA(cls.c_str(), "Button") == 0)
        {
            if (GetDlgCtrlID(child) == IDOK && WindowText(child) == "OK")
                ++box.okButtons;
            else
                ++box.otherButtons;
        }
        else if (lstrcmpiA(cls.c_str(), "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON)
        {
            if (SendMessageA(child, STM_GETICON, 0, 0) != 0)
                box.hasIcon = true;
        }
    }
}

} // namespace

std::string EnvPath(const char* name)
{
    char buf[MAX_PATH * 4];
    DWORD len = GetEnvironmentVariableA(name, buf, sizeof(buf));
    if (len == 0 || len >= sizeof(buf))
    {
        ADD_FAILURE() << name << " is not set";
        return std::string();
    }
    std::string path(buf, len);
    if (path.size() > 1 && path[1] == ':')
        return path;
    for (char& c : path)
    {
        if (c == '/')
            c = '\\';
    }
    if (!path.empty() && path[0] == '\\')
        path = "Z:" + path;
    return path;
}

namespace
{
std::string StillRunning(DWORD timeoutMs, const std::string& commandLine)
{
    return "still running after " + std::to_string(timeoutMs) + " ms: " + commandLine;
}

// A process still running after timeoutMs fails the test with the text
// stillRunning, and is ended.
DWORD WaitForExit(PROCESS_INFORMATION& pi, DWORD timeoutMs, const std::string& stillRunning)
{
    DWORD code = kRunFailed;
    if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0)
    {
        code = ExitCodeOf(pi.hProcess);
    }
    else
    {
        ADD_FAILURE() << stillRunning << DescribeWindowsOf(pi.dwProcessId);
        TerminateProcess(pi.hProcess, kRunFailed);
        WaitForSingleObject(pi.hProcess, 5000);
    }
    Close(pi);
    return code;
}
} // namespace

std::string ProductExePath()
{
    return EnvPath("TIRN_EXE");
}

DWORD RunProgram(const std::string& exe, const std::string& commandLine, const RunOptions& options)
{
    PROCESS_INFORMATION pi;
    if (!StartProcess(exe, commandLine, options.env, pi, 0, options.stdOutput))
        return kRunFailed;
    return WaitForExit(pi, options.timeoutMs, StillRunning(options.timeoutMs, commandLine));
}

std::vector<DWORD> RunTogether(const std::vector<std::string>& argsList, const RunOptions& options)
{
    std::vector<PROCESS_INFORMATION> started(argsList.size());
    std::vector<bool> ok(argsList.size());
    for (size_t i = 0; i < argsList.size(); ++i)
        ok[i] = StartProduct("TIRNFuncts.exe " + argsList[i], options.env, started[i]);
    std::vector<DWORD> codes;
    for (size_t i = 0; i < argsList.size(); ++i)
        codes.push_back(ok[i] ? WaitForExit(started[i], options.timeoutMs, StillRunning(options.timeoutMs, argsList[i]))
                              : kRunFailed);
    return codes;
}

DWORD RunWatchingDlls(const std::string& commandLine, std::set<std::string>* dlls)
{
    PROCESS_INFORMATION pi;
    if (!StartProcess(ProductExePath(), commandLine, {}, pi, DEBUG_ONLY_THIS_PROCESS))
        return kRunFailed;
    DWORD code = kRunFailed;
    DEBUG_EVENT event;
    bool bFirstBreak = true;
    while (code == kRunFailed && WaitForDebugEvent(&event, 60000))
    {
        DWORD dwContinue = DBG_CONTINUE;
        switch (event.dwDebugEventCode)
        {
        case CREATE_PROCESS_DEBUG_EVENT:
            CloseHandle(event.u.CreateProcessInfo.hFile);
            break;
        case LOAD_DLL_DEBUG_EVENT:
        {
            char szPath[MAX_PATH * 2] = "";
            if (!GetMappedFileNameA(pi.hProcess, event.u.LoadDll.lpBaseOfDll, szPath, sizeof(szPath)))
                ADD_FAILURE() << "no name for a DLL at " << event.u.LoadDll.lpBaseOfDll << ": " << GetLastError();
            std::string name = szPath;
            name.erase(0, name.find_last_of("\\/") + 1);
            CharLowerBuffA(&name[0], static_cast<DWORD>(name.size()));
            dlls->insert(name);
            CloseHandle(event.u.LoadDll.hFile);
            break;
        }
        case EXCEPTION_DEBUG_EVENT:
            // The loader's breakpoint is the debugger's to take; anything else is the program's.
            if (!(bFirstBreak && event.u.Exception.ExceptionRecord.ExceptionCode == EXCEPTION_BREAKPOINT))
                dwContinue = DBG_EXCEPTION_NOT_HANDLED;
            bFirstBreak = false;
            break;
        case EXIT_PROCESS_DEBUG_EVENT:
            code = event.u.ExitProcess.dwExitCode;
            break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, dwContinue);
    }
    if (code == kRunFailed)
        ADD_FAILURE() << "no end seen of " << commandLine;
    Close(pi);
    return code;
}

DWORD RunRaw(const std::string& commandLine, const RunOptions& options)
{
    return RunProgram(ProductExePath(), commandLine, options);
}

DWORD Run(const std::string& args, const RunOptions& options)
{
    return RunRaw("TIRNFuncts.exe " + args, options);
}

WatchedRun RunWatchingWindows(const std::string& exe, const std::string& commandLine, const RunOptions& options)
{
    WindowList seen{0, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&seen));
    WatchedRun run;
    PROCESS_INFORMATION pi;
    if (!StartProcess(exe, commandLine, options.env, pi))
        return run;

    const ULONGLONG deadline = GetTickCount64() + options.timeoutMs;
    for (bool ended = false; !ended;)
    {
        ended = WaitForSingleObject(pi.hProcess, kPollMs) == WAIT_OBJECT_0;
        WindowList now{0, {}};
        EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&now));
        for (HWND hwnd : now.windows)
        {
            if (!IsWindowVisible(hwnd) ||
                std::find(seen.windows.begin(), seen.windows.end(), hwnd) != seen.windows.end())
                continue;
            seen.windows.push_back(hwnd);
            run.windows.push_back(ClassOf(hwnd) + " \"" + WindowText(hwnd) + "\"");
            PostMessageA(hwnd, WM_COMMAND, IDOK, 0);
            PostMessageA(hwnd, WM_CLOSE, 0, 0);
        }
        if (!ended && Remaining(deadline) == 0)
            break;
    }
    run.exitCode = WaitForExit(pi, kCloseMs, StillRunning(kCloseMs, commandLine));
    return run;
}

UsageBox RunExpectingUsage(const std::string& commandLine, DWORD timeoutMs)
{
    RunOptions options;
    options.timeoutMs = timeoutMs;
    return RunExpectingUsage(commandLine, options);
}

UsageBox RunExpectingUsage(const std::string& commandLine, const RunOptions& options)
{
    UsageBox box;
    PROCESS_INFORMATION pi;
    if (!StartProduct(commandLine, options.env, pi))
    {
        box.exitCode = kRunFailed;
        return box;
    }

    ULONGLONG deadline = GetTickCount64() + options.timeoutMs;
    HWND hwnd = nullptr;
    bool exited = false;
    for (;;)
    {
        hwnd = FindUsageBox(pi.dwProcessId);
        if (hwnd)
            break;
        exited = WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0;
        if (exited || Remaining(deadline) == 0)
            break;
        Sleep(kPollMs);
    }

    if (hwnd)
    {
        box.found = true;
        InspectBox(hwnd, box);
        PostMessageA(hwnd, WM_COMMAND, IDOK, 0);
        if (Remaining(deadline) < kCloseMs)
            deadline = GetTickCount64() + kCloseMs;
    }

    box.exitCode = WaitForExit(
        pi, exited ? 0 : Remaining(deadline),
        (hwnd ? "did not end after its Usage box was closed: " : "no Usage box and still running: ") + commandLine);
    return box;
}

bool Wow64Run()
{
    char value[16] = {};
    DWORD len = GetEnvironmentVariableA("TIRN_WINE_ARCH", value, sizeof(value));
    return len > 0 && len < sizeof(value) && std::string(value) == "wow64";
}

MachineRun RunAskingMachine(const std::string& commandLine)
{
    using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
    const auto isWow64Process2 = reinterpret_cast<IsWow64Process2Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process2")));
    MachineRun run;
    if (isWow64Process2 == nullptr)
    {
        ADD_FAILURE() << "kernel32 has no IsWow64Process2";
        return run;
    }
    PROCESS_INFORMATION pi;
    if (!StartProcess(ProductExePath(), commandLine, {}, pi, CREATE_SUSPENDED))
        return run;
    if (!isWow64Process2(pi.hProcess, &run.processMachine, &run.nativeMachine))
        ADD_FAILURE() << "IsWow64Process2 failed: " << GetLastError();
    ResumeThread(pi.hThread);
    run.exitCode = WaitForExit(pi, 60000, StillRunning(60000, commandLine));
    return run;
}
