// The fault loop: the shipped exe's own bytes run once cleanly per function
// on a sample machine, counting its calls into the system, then once for
// every call k with call k failed. After every run it checks what the
// product promises whatever the platform answers. The hook DLL
// (FaultHook.cpp) is added to the exe's imports in memory, before the exe
// runs any code of its own.
#include "FaultRules.h"

#include "harness/TestProcess.h"
#include "multi/MultiCommon.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace
{

const std::string kId = "{5A1C0D3E-7B42-4F19-9E60-2D8B7C3A4F15}";
const std::string kSingleArgs = " vrtk_ DeviceData HardwareID SYSTEM\\Imaging\\Params";
const char kEarlierSection[] = "09:00:00\t01/02/26\t\r\nStart Log\r\nIn function MAddTwainDS\r\n"
                               "09:00:01\t01/02/26\t\r\nEnd Log\r\n\r\n";
const char kOlderModule[] = "older module";
const DWORD kRunTimeoutMs = 20000;

struct PeFile
{
    std::string bytes;
    const IMAGE_NT_HEADERS* Nt() const
    {
        auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes.data());
        return reinterpret_cast<const IMAGE_NT_HEADERS*>(bytes.data() + dos->e_lfanew);
    }
    // nullptr when the RVA lies in no section's file data.
    const char* At(DWORD rva) const
    {
        const IMAGE_SECTION_HEADER* s = IMAGE_FIRST_SECTION(Nt());
        for (int i = 0; i < Nt()->FileHeader.NumberOfSections; ++i, ++s)
            if (rva >= s->VirtualAddress && rva < s->VirtualAddress + s->SizeOfRawData &&
                s->PointerToRawData + (rva - s->VirtualAddress) < bytes.size())
                return bytes.data() + s->PointerToRawData + (rva - s->VirtualAddress);
        return nullptr;
    }
    // The names of a thunk table; false if it is not one.
    bool Names(DWORD rvaTable, std::vector<std::string>& names) const
    {
        for (const char* p = At(rvaTable); p != nullptr; p += sizeof(IMAGE_THUNK_DATA))
        {
            IMAGE_THUNK_DATA thunk;
            memcpy(&thunk, p, sizeof(thunk));
            if (thunk.u1.AddressOfData == 0)
                return true;
            if (IMAGE_SNAP_BY_ORDINAL(thunk.u1.Ordinal))
                continue;
            const char* name = thunk.u1.AddressOfData < 0x80000000u ? At(DWORD(thunk.u1.AddressOfData) + 2) : nullptr;
            if (name == nullptr || !(isalpha(static_cast<unsigned char>(*name)) || *name == '_'))
                return false;
            names.emplace_back(name);
        }
        return false;
    }
};

bool IsDllName(const char* p)
{
    std::string name;
    for (; p != nullptr && *p != '\0' && name.size() < 64; ++p)
        name += static_cast<char>(tolower(static_cast<unsigned char>(*p)));
    return name.size() > 4 && name.compare(name.size() - 4, 4, ".dll") == 0;
}

// Every function name the exe imports: the import directory's, and the
// delay-import descriptors', which the linker does not list in the header
// and which are found by their shape.
std::vector<std::string> ImportedNames(const std::string& exe, int* pDelayDlls)
{
    PeFile pe;
    EXPECT_TRUE(ReadBytes(exe, pe.bytes)) << exe;
    std::vector<std::string> names;
    *pDelayDlls = 0;
    if (pe.bytes.size() < 0x400)
        return names;
    const IMAGE_DATA_DIRECTORY& dir = pe.Nt()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (const char* p = pe.At(dir.VirtualAddress); p != nullptr; p += sizeof(IMAGE_IMPORT_DESCRIPTOR))
    {
        IMAGE_IMPORT_DESCRIPTOR desc;
        memcpy(&desc, p, sizeof(desc));
        if (desc.Name == 0)
            break;
        EXPECT_TRUE(pe.Names(desc.OriginalFirstThunk, names));
    }
    const IMAGE_SECTION_HEADER* s = IMAGE_FIRST_SECTION(pe.Nt());
    for (int i = 0; i < pe.Nt()->FileHeader.NumberOfSections; ++i, ++s)
        for (DWORD off = 0; off + sizeof(IMAGE_DELAYLOAD_DESCRIPTOR) <= s->SizeOfRawData; off += 4)
        {
            IMAGE_DELAYLOAD_DESCRIPTOR d;
            memcpy(&d, pe.At(s->VirtualAddress) + off, sizeof(d));
            std::vector<std::string> delayed;
            if (d.Attributes.AllAttributes == 1 && d.DllNameRVA != 0 && IsDllName(pe.At(d.DllNameRVA)) &&
                pe.At(d.ImportAddressTableRVA) != nullptr && pe.At(d.ModuleHandleRVA) != nullptr &&
                pe.Names(d.ImportNameTableRVA, delayed) && !delayed.empty())
            {
                ++*pDelayDlls;
                names.insert(names.end(), delayed.begin(), delayed.end());
            }
        }
    return names;
}

template <typename T> bool ReadChild(HANDLE hProcess, uintptr_t address, T* value)
{
    return ReadProcessMemory(hProcess, reinterpret_cast<void*>(address), value, sizeof(T), NULL) != FALSE;
}

// Gives the suspended child one more import descriptor, last: the hook DLL,
// whose DllMain the loader then runs before the exe's own start-up code.
bool AddHookImport(HANDLE hProcess, const std::string& hookDll)
{
    typedef LONG(WINAPI * PFNQUERY)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<PFNQUERY>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION pbi = {};
    uintptr_t base = 0;
    IMAGE_DOS_HEADER dos;
    IMAGE_NT_HEADERS nt;
    if (query(hProcess, ProcessBasicInformation, &pbi, sizeof(pbi), NULL) != 0 ||
        !ReadChild(hProcess, reinterpret_cast<uintptr_t>(pbi.PebBaseAddress) + 2 * sizeof(void*), &base) ||
        !ReadChild(hProcess, base, &dos) || !ReadChild(hProcess, base + dos.e_lfanew, &nt))
        return false;
    std::vector<IMAGE_IMPORT_DESCRIPTOR> descs;
    IMAGE_IMPORT_DESCRIPTOR desc;
    uintptr_t at = base + nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (; ReadChild(hProcess, at, &desc) && desc.Name != 0; at += sizeof(desc))
        descs.push_back(desc);

    // Block: descriptors (old ones, the hook's, the terminator), the name
    // table, the address table, the imported name, the DLL's path.
    const size_t cbDescs = (descs.size() + 2) * sizeof(IMAGE_IMPORT_DESCRIPTOR);
    const size_t offInt = cbDescs, offIat = offInt + 2 * sizeof(IMAGE_THUNK_DATA), offHint = offIat + offIat - offInt;
    const char kExport[] = "\0\0TirnFaultHook";
    const size_t offDll = offHint + sizeof(kExport);
    std::string block(offDll + hookDll.size() + 1, '\0');
    memcpy(&block[offHint], kExport, sizeof(kExport));
    memcpy(&block[offDll], hookDll.c_str(), hookDll.size());
    // An RVA is 32 bits: the block must lie above the image, within 4 GB.
    uintptr_t rounded = (base + nt.OptionalHeader.SizeOfImage + 0xFFFF) & ~uintptr_t(0xFFFF);
    char* pBlock = nullptr;
    for (int i = 0; pBlock == nullptr && i < 4096; ++i)
        pBlock = static_cast<char*>(VirtualAllocEx(hProcess, reinterpret_cast<void*>(rounded + i * 0x10000),
                                                   block.size(), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (pBlock == nullptr)
        return false;
    const DWORD rva = static_cast<DWORD>(reinterpret_cast<uintptr_t>(pBlock) - base);
    desc = {};
    desc.OriginalFirstThunk = rva + DWORD(offInt);
    desc.FirstThunk = rva + DWORD(offIat);
    desc.Name = rva + DWORD(offDll);
    descs.push_back(desc);
    memcpy(&block[0], descs.data(), descs.size() * sizeof(desc));
    IMAGE_THUNK_DATA thunk = {};
    thunk.u1.AddressOfData = rva + offHint;
    memcpy(&block[offInt], &thunk, sizeof(thunk));
    memcpy(&block[offIat], &thunk, sizeof(thunk));

    IMAGE_DATA_DIRECTORY dir = {rva, DWORD(cbDescs)};
    void* pDir = reinterpret_cast<void*>(base + dos.e_lfanew + offsetof(IMAGE_NT_HEADERS, OptionalHeader) +
                                         offsetof(IMAGE_OPTIONAL_HEADER, DataDirectory) +
                                         IMAGE_DIRECTORY_ENTRY_IMPORT * sizeof(IMAGE_DATA_DIRECTORY));
    DWORD dwOld;
    return WriteProcessMemory(hProcess, pBlock, block.data(), block.size(), NULL) &&
           VirtualProtectEx(hProcess, pDir, sizeof(dir), PAGE_READWRITE, &dwOld) &&
           WriteProcessMemory(hProcess, pDir, &dir, sizeof(dir), NULL) &&
           VirtualProtectEx(hProcess, pDir, sizeof(dir), dwOld, &dwOld);
}

struct HookedRun
{
    DWORD exitCode = kRunFailed;
    std::vector<std::string> calls; // "<name>" per counted call
    std::string failed;             // "<name> failed <error>" when call k failed
    std::vector<std::string> unruled;
};

std::string RecordPath()
{
    char sz[MAX_PATH];
    DWORD cch = GetModuleFileNameA(NULL, sz, MAX_PATH);
    return std::string(sz, cch) + ".record";
}

// Runs "TIRNFuncts.exe args" with call k failed (none for k = 0).
HookedRun RunHooked(const std::string& args, long k)
{
    HookedRun run;
    const std::string record = RecordPath();
    DeleteFileA(record.c_str());
    SetEnvironmentVariableA("TIRN_FAULT_AT", std::to_string(k).c_str());
    SetEnvironmentVariableA("TIRN_FAULT_RECORD", record.c_str());
    std::string cmd = "TIRNFuncts.exe " + args;
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    // Wine under load now and then refuses a start (1359): the run is tried again.
    BOOL bStarted = FALSE;
    for (int i = 0; i < 3 && !bStarted; ++i)
        bStarted = CreateProcessA(ProductExePath().c_str(), &cmd[0], NULL, NULL, FALSE, CREATE_SUSPENDED, NULL, NULL,
                                  &si, &pi);
    if (!bStarted)
    {
        ADD_FAILURE() << "CreateProcess failed: " << GetLastError();
        return run;
    }
    if (!AddHookImport(pi.hProcess, EnvPath("TIRN_FAULT_HOOK")))
        ADD_FAILURE() << "the hook could not be added: " << GetLastError();
    ResumeThread(pi.hThread);
    if (WaitForSingleObject(pi.hProcess, kRunTimeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &run.exitCode);
    else
        TerminateProcess(pi.hProcess, kRunFailed);
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    std::istringstream lines(ReadBytes(record));
    std::string number, name, rest;
    while (lines >> number >> name && std::getline(lines, rest))
    {
        if (name == "unruled")
            run.unruled.push_back(rest.substr(1));
        else if (rest.empty())
            run.calls.push_back(name);
        else
            run.failed = name + rest;
    }
    return run;
}

TestDevice ScannerWith(int i, std::vector<RegValue> values)
{
    return ImageDevice(Inst(i), {{"DeviceData", std::move(values)}});
}

// Devices: 0000 to serve (a staged file), 0001 with an older data source,
// 0002 of another vendor with a data source of its own; 0009 is gone but its
// data source is there.
std::vector<TestDevice> SampleDevices()
{
    return {ScannerWith(0, {RegSz("HardwareID", kId), Corvel(), Module("zbxgnds2")}),
            ScannerWith(1, {RegSz("HardwareID", kId), Corvel()}),
            ScannerWith(2, {RegSz("HardwareID", "other"), Corvel(), Module("other.ds")})};
}

void ResetFiles()
{
    RemoveTree(TwainDir());
    Put(Generic(), GenericData());
    Put(Staged(0), GenericData());
    Put(DsFile(1), kOlderModule);
    Put(DsFile(2), "other vendor's module");
    Put(DsFile(9), "module of a gone device");
    RemoveLogs();
    WriteBytes(LogPath("_add_ds.log"), kEarlierSection);
    WriteBytes(LogPath("_remove_ds.log"), kEarlierSection);
}

struct State
{
    std::map<std::string, std::string> twain; // path below twain_32 -> bytes ("" for a directory)
    std::string outside;                       // names around twain_32 and the logs, the other log's bytes
    std::string log;
};

// The names in dir but the logs' own files.
std::string Names(const std::string& dir)
{
    std::string names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "*").c_str(), &fd);
    for (BOOL more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileA(h, &fd))
    {
        const std::string name = fd.cFileName;
        if (name.compare(0, 7, "_add_ds") != 0 && name.compare(0, 10, "_remove_ds") != 0)
            names += name + "|";
    }
    if (h != INVALID_HANDLE_VALUE)
        FindClose(h);
    return names;
}

State Take(const std::string& log, const std::string& otherLog)
{
    State state;
    for (const std::string& path : ListTree(TwainDir()))
        state.twain[path] = path.back() == '\\' ? "" : ReadBytes(TwainDir() + "\\" + path);
    char szWindows[MAX_PATH];
    GetWindowsDirectoryA(szWindows, MAX_PATH);
    state.outside = Names("C:\\") + Names(std::string(szWindows) + "\\") + Names(TempDir()) + ReadBytes(otherLog);
    state.log = ReadBytes(log);
    return state;
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

// The name as a log line would spell it: without its A or W, its 64.
std::string Stem(std::string name)
{
    if (name.size() > 2 && name.compare(name.size() - 2, 2, "64") == 0)
        name.resize(name.size() - 2);
    if (name.size() > 1 && (name.back() == 'A' || name.back() == 'W') && islower(static_cast<unsigned char>(name[name.size() - 2])))
        name.pop_back();
    return name;
}

// The error as the log reports one: "returned <n>", "errno = <n>".
bool ReportsError(const std::string& line, int n)
{
    for (const std::string& text : {"returned " + std::to_string(n), "errno = " + std::to_string(n)})
    {
        size_t at = line.find(text);
        if (at != std::string::npos && (at + text.size() == line.size() || !isdigit(static_cast<unsigned char>(line[at + text.size()]))))
            return true;
    }
    return false;
}

bool LogWrite(const std::string& name)
{
    return name == "WriteFile" || name == "FlushFileBuffers";
}

enum Invariant
{
    kEnds,     // (a) ends by itself with 0 or 1
    kWhole,    // (b) every .ds generic or as it was, no .tmp
    kOutside,  // (c) nothing else changed
    kLog,      // (d) earlier sections kept, the run's section whole
    kUnsure,   // (e) every data source as before or as the clean run left it
    kReported, // (f) a change against the clean run has its line
    kReached,  // call k was made and failed
    kInvariants
};
const char* const kInvariantNames[kInvariants] = {"a", "b", "c", "d", "e", "f", "k"};

struct Function
{
    const char* szName;
    std::string args;
    const char* szLog;
    const char* szOtherLog;
};

// Which invariants a run broke; "" for none.
std::string Check(const HookedRun& run, const State& before, const State& clean, const State& after,
                  const std::string& failedName, const FaultRule* pRule, bool bCleanRun)
{
    bool broken[kInvariants] = {};
    broken[kEnds] = run.exitCode != 0 && run.exitCode != 1;
    for (const auto& entry : after.twain)
    {
        const std::string& path = entry.first;
        auto old = before.twain.find(path);
        if (Lower(path).find(".tmp") != std::string::npos ||
            (Lower(path).size() > 3 && Lower(path).compare(path.size() - 3, 3, ".ds") == 0 &&
             entry.second != GenericData() && (old == before.twain.end() || old->second != entry.second)))
            broken[kWhole] = true;
    }
    broken[kOutside] = after.outside != before.outside;
    const bool bLogKept = after.log.compare(0, before.log.size(), before.log) == 0;
    std::vector<LogSection> sections = ParseLog(after.log.substr(std::min(after.log.size(), before.log.size())));
    // A log that could not be opened holds no section of the run; one that
    // could not be written, the beginning of one.
    const bool bSectionWhole = (sections.size() == 1 && sections[0].wellFormed) ||
                               (!bCleanRun && (after.log.size() == before.log.size() || LogWrite(failedName)));
    broken[kLog] = !bLogKept || !bSectionWhole;
    std::map<std::string, std::string> all = before.twain;
    all.insert(clean.twain.begin(), clean.twain.end());
    all.insert(after.twain.begin(), after.twain.end());
    const std::string kAbsent = "(absent)";
    auto get = [&](const State& s, const std::string& path) {
        auto it = s.twain.find(path);
        return it == s.twain.end() ? kAbsent : it->second;
    };
    for (const auto& entry : all)
    {
        const std::string now = get(after, entry.first);
        if (now != get(before, entry.first) && now != get(clean, entry.first))
            broken[kUnsure] = true;
    }
    // Status 1 says that no function ran: a run that touched nothing and
    // wrote no section reports its failure so.
    const bool bRefused = run.exitCode == 1 && sections.empty() && after.twain == before.twain;
    if (!bCleanRun && !bRefused && after.twain != clean.twain)
    {
        const int error = pRule->error;
        std::vector<std::string> body = sections.empty() ? std::vector<std::string>() : sections[0].body;
        // The log names steps as well as calls ("CopyFile failed", then
        // "GetLastError returned 112"): a line with the error that names the
        // call or a failure, itself or on the line before, is the line.
        auto names = [&](const std::string& line) {
            return line.find(Stem(failedName)) != std::string::npos || line.find("failed") != std::string::npos ||
                   line.find("error") != std::string::npos || line.find("returned 0") != std::string::npos;
        };
        bool found = false;
        for (size_t i = 0; i < body.size() && !found; ++i)
            found = ReportsError(body[i], error) && (names(body[i]) || (i > 0 && names(body[i - 1])));
        broken[kReported] = !found;
    }
    broken[kReached] = !bCleanRun && run.failed.compare(0, failedName.size() + 7, failedName + " failed") != 0;
    std::string result;
    for (int i = 0; i < kInvariants; ++i)
        if (broken[i])
            result += kInvariantNames[i];
    return result;
}

class FaultLoop : public CleanMachine
{
};

TEST_F(FaultLoop, EveryCallOfEveryFunctionMayFail)
{
    int nDelayDlls = 0;
    std::vector<std::string> missing;
    for (const std::string& name : ImportedNames(ProductExePath(), &nDelayDlls))
        if (FindFaultRule(name.c_str()) == nullptr)
            missing.push_back(name);
    EXPECT_EQ(std::vector<std::string>(), missing) << "imports without a fault rule";
    EXPECT_EQ(3, nDelayDlls) << "setupapi, advapi32 and user32 are delay-loaded";

    CDeviceScope devices(SampleDevices());
    const Function functions[] = {
        {"AddDS", "AddDS " + kId + kSingleArgs, "_add_ds.log", "_remove_ds.log"},
        {"RemoveDS", "RemoveDS " + kId + kSingleArgs, "_remove_ds.log", "_add_ds.log"},
        {"MAddDS", "MAddDS", "_add_ds.log", "_remove_ds.log"},
        {"MRemoveDS", "MRemoveDS", "_remove_ds.log", "_add_ds.log"},
    };
    std::ostringstream table;
    table << (Wow64Run() ? "WoW64" : "x64") << "  function    N  a  b  c  d  e  f  k\n";
    std::ostringstream details;
    ULONGLONG msRuns = 0, msStart = GetTickCount64();
    for (const Function& f : functions)
    {
        const std::string log = LogPath(f.szLog), otherLog = LogPath(f.szOtherLog);
        ResetFiles();
        const State before = Take(log, otherLog);
        const HookedRun clean = RunHooked(f.args, 0);
        const State cleanState = Take(log, otherLog);
        EXPECT_EQ("", Check(clean, before, cleanState, cleanState, "", nullptr, true)) << f.szName << " clean run";
        EXPECT_NE(before.twain, cleanState.twain) << f.szName << ": the sample gives the clean run work";
        EXPECT_EQ(std::vector<std::string>(), clean.unruled) << f.szName << ": the hook found no rule for these imports or GetProcAddress answers";
        int counts[kInvariants] = {};
        long nLastMove = 0;
        // TIRN_FAULT_ONLY=<function> <k> runs that one run and shows its log.
        char szOnly[64] = "";
        GetEnvironmentVariableA("TIRN_FAULT_ONLY", szOnly, sizeof(szOnly));
        for (long k = 1; k <= long(clean.calls.size()); ++k)
        {
            const std::string& name = clean.calls[k - 1];
            nLastMove = name == "MoveFileExA" || name == "SetFileInformationByHandle" ? k : nLastMove;
            if (szOnly[0] != '\0' && std::string(szOnly) != std::string(f.szName) + " " + std::to_string(k))
                continue;
            ResetFiles();
            const ULONGLONG msRun = GetTickCount64();
            const HookedRun run = RunHooked(f.args, k);
            msRuns += GetTickCount64() - msRun;
            const State after = Take(log, otherLog);
            const std::string broken = Check(run, before, cleanState, after, name, FindFaultRule(name.c_str()), false);
            if (szOnly[0] != '\0')
            {
                for (long i = std::max(1L, k - 10); i <= std::min(long(clean.calls.size()), k + 3); ++i)
                    printf("%ld %s\n", i, clean.calls[i - 1].c_str());
                printf("%s\n%s\n", run.failed.c_str(), after.log.c_str());
            }
            for (char c : broken)
                ++counts[c == 'k' ? kReached : c - 'a'];
            if (!broken.empty())
                details << f.szName << " call " << k << " " << run.failed << ": breaks " << broken << ", exit 0x"
                        << std::hex << run.exitCode << std::dec << "\n";
        }
        table << "       " << f.szName << std::string(10 - strlen(f.szName), ' ') << clean.calls.size();
        for (int count : counts)
            table << "  " << count;
        table << "\n";
        // The proof that call k really fails: the move of 0001's copy, the
        // last of MAddDS's moves, failed leaves the older data source.
        if (std::string(f.szName) == "MAddDS")
        {
            ASSERT_NE(0, nLastMove) << "MAddDS moves its copies into place";
            ResetFiles();
            RunHooked(f.args, nLastMove);
            printf("MAddDS with call %ld (MoveFileExA) failed leaves vrtk_0001.ds holding \"%s\"\n", nLastMove,
                   ReadBytes(DsFile(1)).c_str());
            EXPECT_EQ(kOlderModule, ReadBytes(DsFile(1)));
            EXPECT_EQ(GenericData(), cleanState.twain.at("vrtk_0001\\vrtk_0001.ds"));
        }
    }
    ResetFiles();
    DeleteFileA(RecordPath().c_str());
    printf("%s%llu s, of which the product's runs %llu s\n", table.str().c_str(), (GetTickCount64() - msStart) / 1000,
           msRuns / 1000);
    EXPECT_EQ("", details.str()) << table.str();
}

} // namespace
