#include "MultiCommon.h"
#include "harness/TestProcess.h"

#include "log/CLogger.h"
#include "seams/Seams.h"
#include "twainds/CDsDirectoryWalk.h"
#include "twainds/CModTwainDS.h"

#include <algorithm>
#include <functional>
#include <map>
#include <tuple>
#include <utility>
#include <vector>

class MultiFaults : public MultiFixture
{
protected:
    void SetUp() override
    {
        MultiFixture::SetUp();
        AddDevice(ImageDevice("0000", {{"DeviceData", {Corvel()}}}));
        MakeDsDir("0001", {"vrtk_0001.ds"});
    }
    void TearDown() override
    {
        ResetSeams();
        MultiFixture::TearDown();
    }
    static void RunBoth()
    {
        for (bool bAdd : {true, false})
        {
            CModTwainDS job("vrtk_", "DeviceData", "InstallCLSID");
            job.MAddTwainDS(bAdd, true);
        }
    }
    // AddDS and RemoveDS on device 0000, whose CorvelCLSID names the identifier.
    static void RunSingle(bool bAdd, const char* szCheckKey = "DeviceData")
    {
        CModTwainDS job("{5c3f7d5a", "vrtk_", szCheckKey, "CorvelCLSID", "sw");
        job.AddTwainDS(bAdd, true);
    }
    const Lines untouched{"vrtk_0001\\", "vrtk_0001\\vrtk_0001.ds", "zbxgnds2"};
};

TEST_F(MultiFaults, WithoutADeviceSetNothingIsAddedAndNoDataSourceRemoved)
{
    Seams().getClassDevs = [](const GUID*, PCSTR, HWND, DWORD)
    {
        SetLastError(ERROR_INVALID_DATA);
        return static_cast<HDEVINFO>(INVALID_HANDLE_VALUE);
    };
    RunBoth();
    EXPECT_EQ(untouched, ListTree(TwainDir()));
    const std::string failed = "SetupDiGetClassDevs failed, GetLastError returned 13";
    EXPECT_EQ(Header(1) + Lines{failed}, LastBody(LogPath("_add_ds.log")));
    EXPECT_EQ((Header(0) + Lines{failed, "No device information set, no data source is removed"}),
              LastBody(LogPath("_remove_ds.log")));
}

TEST_F(MultiFaults, WithoutAWindowsDirectoryNoFunctionTouchesAFile)
{
    Seams().getWindowsDirectory = [](LPSTR szBuffer, UINT) -> UINT
    {
        szBuffer[0] = '\0';
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    };
    // Left in place, these would be the targets of paths that begin at the
    // root of the current drive.
    MakeDsDir("0000", {"vrtk_0000", "vrtk_0000.ds"});
    CreateDirectoryA("\\vrtk_0000", nullptr);
    WriteBytes("\\vrtk_0000\\vrtk_0000", "staged at the root");
    const Lines before = ListTree(TwainDir());

    RunBoth();
    RunSingle(true);
    RunSingle(false);
    EXPECT_EQ(before, ListTree(TwainDir()));
    EXPECT_EQ(Lines{"vrtk_0000"}, ListTree("\\vrtk_0000"));
    RemoveTree("\\vrtk_0000");

    const Lines noDir{"GetWindowsDirectory failed, GetLastError returned 5",
                      "No twain_32 directory: the Windows directory could not be had, no file is touched"};
    const Lines nothingDone{"No twain_32 directory, nothing done for instance 0000"};
    const std::vector<LogSection> adds = ParseLog(ReadBytes(LogPath("_add_ds.log")));
    ASSERT_EQ(2u, adds.size());
    EXPECT_EQ((Header(1) + noDir + Device(0, "0000") + Lines{kCorvelLine, kAssumeTIRN} + nothingDone + WalkEnd(1)),
              adds[0].body);
    const Lines singleHead = SingleHeader("{5c3f7d5a", "DeviceData", "vrtk_", "CorvelCLSID", "sw") + noDir;
    EXPECT_EQ(singleHead + Device(0, "0000") + nothingDone + WalkEnd(1), adds[1].body);
    const std::vector<LogSection> removes = ParseLog(ReadBytes(LogPath("_remove_ds.log")));
    ASSERT_EQ(2u, removes.size());
    EXPECT_EQ(Header(0) + noDir, removes[0].body);
    EXPECT_EQ(singleHead + Device(0, "0000") + nothingDone + WalkEnd(1), removes[1].body);
}

TEST_F(MultiFaults, EveryRegistryKeyOpenedIsClosedOnce)
{
    // The check value in the driver key itself, reached by an empty check key.
    AddDevice(ImageDevice("0002", {{"", {RegSz("CorvelCLSID", "{5C3F7D5A}")}}, {"DeviceData", {Corvel()}}}));
    std::map<HKEY, bool> open;
    int opened = 0;
    auto opens = [&](HKEY hKey)
    {
        EXPECT_FALSE(std::exchange(open[hKey], true)) << "opened again before it was closed";
        ++opened;
    };
    Seams().openDevRegKey =
        [&](HDEVINFO hDevInfo, PSP_DEVINFO_DATA pData, DWORD dwScope, DWORD dwProfile, DWORD dwType, REGSAM sam)
    {
        HKEY hKey = SetupDiOpenDevRegKey(hDevInfo, pData, dwScope, dwProfile, dwType, sam);
        if (hKey != INVALID_HANDLE_VALUE)
            opens(hKey);
        return hKey;
    };
    Seams().regOpenKeyEx = [&](HKEY hParent, LPCSTR szSubKey, DWORD dwOptions, REGSAM sam, PHKEY phKey)
    {
        LONG lResult = RegOpenKeyExA(hParent, szSubKey, dwOptions, sam, phKey);
        if (lResult == ERROR_SUCCESS)
            opens(*phKey);
        return lResult;
    };
    Seams().regCloseKey = [&open](HKEY hKey)
    {
        EXPECT_TRUE(std::exchange(open[hKey], false)) << "closed but not open";
        LONG lResult = RegCloseKey(hKey);
        EXPECT_EQ(ERROR_SUCCESS, lResult);
        return lResult;
    };
    RunBoth();
    RunSingle(true, "");
    RunSingle(false, "");
    RunSingle(true);
    EXPECT_GT(opened, 10);
    EXPECT_EQ(0, std::count_if(open.begin(), open.end(), [](const auto& key) { return key.second; })) << "never closed";
}

TEST_F(MultiFaults, ACopyThatFailsAtAnyStepLeavesNoPartOfItAndTheOlderDataSourceAsItWas)
{
    // Device 0001 has an older data source, 0000 none.
    AddDevice(ImageDevice("0001", {{"DeviceData", {Corvel()}}}));
    std::string failing;
    DWORD error = 0;
    auto fail = [&error]
    {
        SetLastError(error);
        return FALSE;
    };
    Seams().writeFile = [&](HANDLE h, LPCVOID p, DWORD cb, LPDWORD pcb, LPOVERLAPPED o)
    {
        if (failing.rfind("write", 0) != 0 || std::string(static_cast<const char*>(p), cb) != GenericData())
            return WriteFile(h, p, cb, pcb, o);
        WriteFile(h, p, failing == "write" ? cb / 2 : 0, pcb, o);
        // Success with nothing written leaves a stale error behind.
        return failing == "write" ? fail() : (SetLastError(ERROR_ALREADY_EXISTS), TRUE);
    };
    Seams().flushFileBuffers = [&](HANDLE h) { return failing == "flush" ? fail() : FlushFileBuffers(h); };
    Seams().setFileInformationByHandle = [&](HANDLE h, FILE_INFO_BY_HANDLE_CLASS c, LPVOID p, DWORD cb)
    { return failing == "move" && c == FileRenameInfo ? fail() : SetFileInformationByHandle(h, c, p, cb); };
    // The step that fails, the error it sets, the error logged.
    for (const auto& row :
         std::vector<std::tuple<std::string, DWORD, DWORD>>{{"write", ERROR_DISK_FULL, ERROR_DISK_FULL},
                                                            {"write nothing", 0, ERROR_WRITE_FAULT},
                                                            {"flush", ERROR_IO_DEVICE, ERROR_IO_DEVICE},
                                                            {"move", ERROR_SHARING_VIOLATION, ERROR_SHARING_VIOLATION}})
    {
        SCOPED_TRACE(std::get<0>(row));
        DWORD logged;
        std::tie(failing, error, logged) = row;
        CModTwainDS("vrtk_", "DeviceData", "InstallCLSID").MAddTwainDS(true, true);
        EXPECT_EQ((Lines{"vrtk_0000\\"} + untouched), ListTree(TwainDir()));
        EXPECT_EQ("data source vrtk_0001.ds", ReadBytes(DsFile(1)));
        auto failed = [&](int i)
        {
            return Device(i, i) + Lines{kCorvelLine, kAssumeTIRN} + Paths(i) +
                   Lines{"CopyFile failed", "GetLastError returned " + std::to_string(logged)};
        };
        EXPECT_EQ(Header(1) + failed(0) + failed(1) + WalkEnd(2), LastBody(LogPath("_add_ds.log")));
        RemoveTree(DsDir(0));
        RemoveLogs();
    }
}

// What a link planted at the copy's name, or another run with logging off,
// does between the copy's steps: the seam does it as the copy is made or as
// it is moved. The copy is the run's own file throughout.
TEST_F(MultiFaults, ACopyIsItsRunsOwnWhateverIsPutBesideItBetweenItsSteps)
{
    const std::string other = TwainDir() + "\\other file";
    std::string copy;
    auto plant = [&] { return CreateHardLinkA(copy.c_str(), other.c_str(), nullptr); };
    const struct Row
    {
        const char* what;
        bool atMove; // else as the copy is made
        std::function<void()> act;
        Lines fileLines; // after the five path lines
        bool planted;    // the planted name stays
    } rows[] = {
        {"link planted at the copy's name", false, [&] { EXPECT_TRUE(Exists(copy) || plant()); },
         {"CopyFile failed", "GetLastError returned 80"}, true},
        {"copy replaced by a link", true,
         [&] { EXPECT_FALSE(DeleteFileA(copy.c_str()) || plant()) << "the copy was replaced"; }, Copied("0000"),
         false},
        {"another run", true, [] { EXPECT_EQ(0u, ::Run("MAddDS vrtk_ DeviceData InstallCLSID 0")); },
         Copied("0000"), false},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.what);
        WriteBytes(other, "other file");
        CreateDirectoryA(DsDir("0000").c_str(), nullptr);
        Seams().createFile = [&](LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                                 DWORD flags, HANDLE hTemplate)
        {
            // The copy's path may be longer than MAX_PATH - 1: it starts with \\?\.
            const std::wstring wide(path);
            if (disposition == CREATE_NEW && wide.find(L"\\\\?\\" + Wide(TwainDir())) == 0)
            {
                copy = std::string(wide.begin() + 4, wide.end());
                if (!row.atMove)
                    row.act();
            }
            return CreateFileW(path, access, share, sa, disposition, flags, hTemplate);
        };
        Seams().setFileInformationByHandle = [&](HANDLE h, FILE_INFO_BY_HANDLE_CLASS c, LPVOID p, DWORD cb)
        {
            if (row.atMove && c == FileRenameInfo)
                row.act();
            return SetFileInformationByHandle(h, c, p, cb);
        };
        CModTwainDS("vrtk_", "DeviceData", "InstallCLSID").MAddTwainDS(true, true);
        EXPECT_EQ((Header(1) + Device(0, "0000") + Lines{kCorvelLine, kAssumeTIRN} + Paths("0000") + row.fileLines +
                   WalkEnd(1)),
                  LastBody(LogPath("_add_ds.log")));
        const std::string kept = row.planted ? copy.substr(TwainDir().size() + 1) : "vrtk_0000\\vrtk_0000.ds";
        EXPECT_EQ((Lines{"other file", "vrtk_0000\\", kept} + untouched), ListTree(TwainDir()));
        EXPECT_EQ("other file", ReadBytes(other));
        EXPECT_EQ(row.planted ? "other file" : GenericData(), ReadBytes(TwainDir() + "\\" + kept));
        RemoveTree(DsDir(0));
        DeleteFileA(other.c_str());
        RemoveLogs();
    }
}

TEST_F(MultiFaults, ADeviceDataKeyDeletedAfterCorvelClsidWasFoundGetsNoDataSource)
{
    // As when the device is uninstalled between MAddDS's two tests, with the
    // check key DeviceData itself or another one.
    for (const char* checkKey : {"DeviceData", "Settings"})
    {
        SCOPED_TRACE(checkKey);
        RemoveTree(DsDir("0000"));
        AddDevice(ImageDevice("0000", {{checkKey, {Corvel()}}, {"DeviceData", {}}}));
        Seams().regQueryValueEx =
            [](HKEY hKey, LPCSTR szName, LPDWORD pReserved, LPDWORD pType, LPBYTE pData, LPDWORD pcbData)
        {
            LONG lResult = RegQueryValueExA(hKey, szName, pReserved, pType, pData, pcbData);
            if (lResult == ERROR_SUCCESS && std::string(szName) == "CorvelCLSID")
            {
                const std::string key =
                    std::string("System\\CurrentControlSet\\Control\\Class\\") + kImageClassGuid + "\\0000\\DeviceData";
                EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str()));
            }
            return lResult;
        };
        CModTwainDS job("vrtk_", checkKey, "InstallCLSID");
        job.MAddTwainDS(true, true);
        EXPECT_EQ(untouched, ListTree(TwainDir()));
        EXPECT_EQ(Header(1, "vrtk_", checkKey) + Device(0, "0000") + Lines{kCorvelLine} + WalkEnd(1),
                  LastBody(LogPath("_add_ds.log")));
    }
}

TEST_F(MultiFaults, AttributeResetsThatFailAreLoggedWithTheirError)
{
    MakeDsDir("0000", {"vrtk_0000", "vrtk_0000.ds"});
    // Wine lets root change any attribute: the refusal is made here.
    Seams().setFileAttributes = [](LPCSTR szPath, DWORD dwAttributes)
    {
        if (std::string(szPath).rfind(DsDir("0000") + "\\", 0) == 0 && Exists(szPath))
        {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        return SetFileAttributesA(szPath, dwAttributes);
    };
    auto failed = [](const std::string& path) {
        return Lines{"SetFileAttributes failed on " + path, "GetLastError returned 5"};
    };
    CModTwainDS job("vrtk_", "DeviceData", "InstallCLSID");
    job.MAddTwainDS(true, true);
    EXPECT_EQ((Header(1) + Device(0, "0000") + Lines{kCorvelLine, kAssumeTIRN} + Paths("0000") +
               failed(Staged("0000")) + Lines{Removed(Staged("0000"))} + failed(DsFile("0000")) + Copied("0000") +
               WalkEnd(1)),
              LastBody(LogPath("_add_ds.log")));
    // Removing resets the data source's attributes twice, each failure logged.
    {
        CLogger logger("_remove_ds.log");
        job.m_Files.RemoveDsFile("0000", true, &logger);
    }
    EXPECT_EQ((Paths("0000") + failed(DsFile("0000")) + failed(DsFile("0000")) + Lines{Removed(DsFile("0000"))}),
              LastBody(LogPath("_remove_ds.log")));
    EXPECT_EQ(untouched, ListTree(TwainDir()));
}

TEST_F(MultiFaults, DirectoryWalkEndsAfterItsLastEntryThenStartsAgain)
{
    MakeDsDir("0000", {});
    const CDsNames names("vrtk_");
    char szPattern[MAX_PATH];
    ASSERT_TRUE(names.SearchPattern(szPattern, sizeof(szPattern)));
    CDsDirectoryWalk walk(szPattern, "vrtk_");
    char szInstance[CModTwainDS::kInstanceSize] = {};
    Lines walked;
    for (int call = 0; call < 5; ++call)
        walked.push_back(walk.NextDsDirectory(szInstance, sizeof(szInstance)) ? szInstance : "end");
    EXPECT_EQ((Lines{"0000", "0001", "end", "0000", "0001"}), walked);
}
