#include "log/CHandleOwner.h"
#include "log/CLogger.h"

#include "harness/TestFiles.h"
#include "harness/TestLog.h"
#include "harness/TestMachine.h"
#include "harness/TestProcess.h"
#include "seams/Seams.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace
{

std::string Section(const std::string& body)
{
    return "TS\r\nStart Log\r\n" + body + "TS\r\nEnd Log\r\n\r\n";
}

// The bytes with every time stamp that ends a line replaced by "TS".
std::string Masked(const std::string& bytes)
{
    std::string out;
    for (size_t pos = 0, end; pos < bytes.size(); pos = end)
    {
        end = std::min(bytes.find('\n', pos), bytes.size() - 1) + 1;
        std::string line = bytes.substr(pos, end - pos);
        if (line.size() >= 20 && line.compare(line.size() - 2, 2, "\r\n") == 0 &&
            IsTimeStampLine(line.substr(line.size() - 20, 18)))
            line.replace(line.size() - 20, 20, "TS\r\n");
        out += line;
    }
    return out;
}

// An old log of exactly n bytes: distinct CR LF lines of 50 bytes after a
// first line of 2 to 51 bytes.
std::string Filler(size_t n)
{
    std::string s = std::string(n % 50 < 2 ? n % 50 + 48 : n % 50 - 2, '#') + "\r\n";
    for (int i = 0; s.size() < n; ++i)
        s += std::to_string(100000 + i) + std::string(42, static_cast<char>('a' + i % 26)) + "\r\n";
    return s;
}

void RunLogger(const std::string& suffix, const char* line)
{
    CLogger log(suffix.c_str());
    EXPECT_TRUE(log.IsOpen());
    log.WriteLine(line);
}

class Log : public CleanMachine
{
protected:
    void TearDown() override
    {
        Release();
        ResetSeams();
        CleanMachine::TearDown();
    }
    void Release()
    {
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        held = INVALID_HANDLE_VALUE;
    }

    const std::string addLog = LogPath("_add_ds.log");
    HANDLE held = INVALID_HANDLE_VALUE;
};

TEST_F(Log, FirstRunCreatesTheFileAndFlushesEachLine)
{
    {
        CLogger log("_add_ds.log");
        log.WriteLabel("Label:");
        log.WriteLine("");
        log.WriteLine("");
        log.WriteLabel("Check Key:");
        // A label reaches the file only with its value.
        EXPECT_EQ(Masked(ReadBytes(addLog)), "TS\r\nStart Log\r\nLabel:\t\r\n\r\n");
        log.WriteLine("DeviceData");
        EXPECT_EQ(Masked(ReadBytes(addLog)), "TS\r\nStart Log\r\nLabel:\t\r\n\r\nCheck Key:\tDeviceData\r\n");
        log.LogFormat("m_idx = %d, producing %s", 3, "0000");
        EXPECT_EQ(Masked(ReadBytes(addLog)),
                  "TS\r\nStart Log\r\nLabel:\t\r\n\r\nCheck Key:\tDeviceData\r\nm_idx = 3, producing 0000\r\n");
    }
    EXPECT_EQ(Masked(ReadBytes(addLog)),
              Section("Label:\t\r\n\r\nCheck Key:\tDeviceData\r\nm_idx = 3, producing 0000\r\n"));
}

// True while a run holds the turn at the add log: its lock file is open
// without sharing.
bool AddTurnIsHeld()
{
    HANDLE h =
        OpenShared(LogPath("_add_ds.lock"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(h);
    return false;
}

TEST_F(Log, EachLineIsOneWriteMadeWhileTheTurnIsHeld)
{
    struct Written
    {
        std::string bytes;
        bool turnHeld;
    };
    std::vector<Written> writes;
    Seams().writeFile = [&writes](HANDLE hFile, LPCVOID pBuffer, DWORD cb, LPDWORD pcbWritten, LPOVERLAPPED pOverlapped)
    {
        // The test's own output gets the lines too: only the log's writes count.
        if (hFile != GetStdHandle(STD_OUTPUT_HANDLE))
            writes.push_back({std::string(static_cast<const char*>(pBuffer), cb), AddTurnIsHeld()});
        return WriteFile(hFile, pBuffer, cb, pcbWritten, pOverlapped);
    };
    {
        CLogger log("_add_ds.log");
        log.WriteLabel("Check Key:");
        log.WriteLine("DeviceData");
        log.LogFormat("m_idx = %d", 0);
    }
    std::string all;
    for (const Written& w : writes)
    {
        EXPECT_TRUE(w.bytes.size() >= 2 && w.bytes.compare(w.bytes.size() - 2, 2, "\r\n") == 0)
            << "a write that ends inside a line: " << w.bytes;
        EXPECT_TRUE(w.turnHeld) << "written without the turn: " << w.bytes;
        all += w.bytes;
    }
    EXPECT_EQ(all, ReadBytes(addLog));
    EXPECT_EQ(Masked(all), Section("Check Key:\tDeviceData\r\nm_idx = 0\r\n"));
}

TEST_F(Log, TimeStampLinesShowTheLocalTimeThenTheDate)
{
    auto stamp = [](const SYSTEMTIME& t)
    {
        char buf[32];
        snprintf(buf, sizeof(buf), "%02d:%02d:%02d\t%02d/%02d/%02d\t", t.wHour, t.wMinute, t.wSecond, t.wMonth, t.wDay,
                 t.wYear % 100);
        return std::string(buf);
    };
    SYSTEMTIME before, after;
    GetLocalTime(&before);
    delete new CLogger("_remove_ds.log");
    GetLocalTime(&after);
    const std::vector<std::string> lines = SplitCrLf(ReadBytes(LogPath("_remove_ds.log")));
    ASSERT_EQ(lines.size(), 5u);
    for (const std::string& line : {lines[0], lines[2]})
    {
        EXPECT_TRUE(IsTimeStampLine(line)) << line; // 8 characters, TAB, 8, TAB
        if (before.wDay == after.wDay)
        {
            EXPECT_EQ(line.substr(8), stamp(before).substr(8));
            EXPECT_LE(stamp(before), line);
            EXPECT_LE(line, stamp(after));
        }
    }
    EXPECT_FALSE(Exists(addLog));
}

TEST_F(Log, TwoLoggersWriteTwoSectionsSeparatedByOneEmptyLine)
{
    RunLogger("_add_ds.log", "first");
    RunLogger("_add_ds.log", "second");
    EXPECT_EQ(Masked(ReadBytes(addLog)), Section("first\r\n") + Section("second\r\n"));
}

TEST_F(Log, FormattedTextIsCutAt259Characters)
{
    std::string body;
    {
        CLogger log("_add_ds.log");
        for (size_t prefix : {0, 254, 255, 1000})
        {
            log.LogFormat("%s%d", std::string(prefix, 'x').c_str(), 12345);
            body += (std::string(prefix, 'x') + "12345").substr(0, 259) + "\r\n";
        }
    }
    EXPECT_EQ(Masked(ReadBytes(addLog)), Section(body));
}

TEST_F(Log, ARunThatNeverGetsItsTurnLogsAnywayWithoutCuttingAndSaysSo)
{
    const std::string old = Filler(60000);
    // The turn held by another program's handle on the lock file, or by
    // another run's logger, which cuts the log first.
    for (bool byALogger : {false, true})
    {
        SCOPED_TRACE(byALogger ? "held by a logger" : "held by a handle");
        WriteBytes(addLog, old);
        std::unique_ptr<CLogger> holder;
        if (byALogger)
            holder.reset(new CLogger("_add_ds.log"));
        else
        {
            WriteBytes(LogPath("_add_ds.lock"), "");
            held = Hold(LogPath("_add_ds.lock"), 0);
        }
        // A second passes at every look at the clock.
        DWORD now = 0, firstLook = 0;
        Seams().getTickCount = [&now, &firstLook]
        {
            now += 1000;
            firstLook = firstLook ? firstLook : now;
            return now;
        };
        RunLogger("_add_ds.log", "new run");
        EXPECT_EQ(Masked(ReadBytes(addLog)),
                  (byALogger ? old.substr(60000 - 51200) + "TS\r\nStart Log\r\n" : old) +
                      Section("Log lock not had after 30 s, GetLastError returned 32, logging without it\r\n"
                              "new run\r\n"));
        EXPECT_GE(now - firstLook, 30000u) << "gave up before the bound";
        EXPECT_LT(now - firstLook, 40000u) << "waited far longer than the bound";
        EXPECT_FALSE(Exists(LogPath("_add_ds2.log")));
        ResetSeams();
        Release();
    }
}

TEST_F(Log, ARunWhosePredecessorDiedHoldingTheTurnTakesItAtOnce)
{
    WriteBytes(addLog, Filler(60000));
    WriteBytes(LogPath("_add_ds.lock"), "");
    HANDLE hLock = Hold(LogPath("_add_ds.lock"), 0);
    // Hand the turn to a process that then dies holding it.
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    char cmd[] = "C:\\windows\\system32\\cmd.exe";
    ASSERT_TRUE(CreateProcessA(nullptr, cmd, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &si, &pi));
    HANDLE hInChild = nullptr;
    EXPECT_TRUE(DuplicateHandle(GetCurrentProcess(), hLock, pi.hProcess, &hInChild, 0, FALSE,
                                DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE));
    TerminateProcess(pi.hProcess, 1);
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);

    int looks = 0;
    Seams().getTickCount = [&looks] { return static_cast<DWORD>(++looks) * 1000; };
    RunLogger("_add_ds.log", "new run");
    EXPECT_EQ(Masked(ReadBytes(addLog)), Filler(60000).substr(60000 - 51200) + Section("new run\r\n"));
    EXPECT_LE(looks, 1) << "waited for a turn that nobody held";
}

struct LockCase
{
    const char* name;
    DWORD attributes; // of what stands at the lock path, 0 for nothing
    int refusedOpens; // opens of it refused, -1 for all; 0 asks the platform
    DWORD error;      // of a refused open
    bool waits;       // for the turn, which another run is taken to hold
    bool hasTurn;
};
void PrintTo(const LockCase& c, std::ostream* os)
{
    *os << c.name;
}

class LockPath : public Log, public ::testing::WithParamInterface<LockCase>
{
};

TEST_P(LockPath, IsWaitedForOnlyWhileAnotherRunHoldsIt)
{
    const LockCase& c = GetParam();
    const std::string lock = LogPath("_add_ds.lock");
    WriteBytes(addLog, Filler(60000));
    if (c.attributes & FILE_ATTRIBUTE_DIRECTORY)
        ASSERT_TRUE(CreateDirectoryA(lock.c_str(), nullptr));
    else if (c.attributes != 0)
        WriteBytes(lock, "");
    ASSERT_TRUE(c.attributes == 0 || SetFileAttributesA(lock.c_str(), c.attributes));
    int opens = 0;
    Seams().createFile = [&](LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                             DWORD flags, HANDLE hTemplate)
    {
        if (path == Wide(lock) && (c.refusedOpens < 0 || ++opens <= c.refusedOpens))
        {
            SetLastError(c.error);
            return INVALID_HANDLE_VALUE;
        }
        return CreateFileW(path, access, share, sa, disposition, flags, hTemplate);
    };
    int looks = 0;
    Seams().getTickCount = [&looks] { return static_cast<DWORD>(++looks) * 1000; };
    RunLogger("_add_ds.log", "new run");
    EXPECT_EQ(looks > 1, c.waits);
    EXPECT_EQ(Masked(ReadBytes(addLog)),
              c.hasTurn
                  ? Filler(60000).substr(60000 - 51200) + Section("new run\r\n")
                  : Filler(60000) + Section("Log lock cannot be made, GetLastError returned 5, logging without it\r\n"
                                            "new run\r\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, LockPath,
    ::testing::Values(LockCase{"DirectoryInItsPlace", FILE_ATTRIBUTE_DIRECTORY, 0, ERROR_ACCESS_DENIED, false, false},
                      // Wine opens it: Windows denies the deletion it asks for.
                      LockCase{"ReadOnlyFileInItsPlace", FILE_ATTRIBUTE_READONLY, -1, ERROR_ACCESS_DENIED, false,
                               false},
                      LockCase{"FileStillBeingDeleted", FILE_ATTRIBUTE_NORMAL, 3, ERROR_ACCESS_DENIED, true, true},
                      // Denied while being deleted, then gone when looked at.
                      LockCase{"FileGoneOnceDenied", 0, 1, ERROR_ACCESS_DENIED, false, true},
                      // The locks of two runs in a row, met by a run held up between its tries.
                      LockCase{"FilesGoneTwiceInARow", 0, 2, ERROR_ACCESS_DENIED, false, true},
                      // Made by another run as this one took a planted link's name over.
                      LockCase{"MadeByAnotherRunDuringATakeOver", 0, 1, ERROR_FILE_EXISTS, true, true},
                      LockCase{"NoFileCanBeMadeThere", 0, -1, ERROR_ACCESS_DENIED, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Log, WhereKernel32HasGetTempPath2WItsDirectoryHoldsTheLogTheLockAndTheCut)
{
    const std::string systemTemp = TempDir() + "SystemTemp\\";
    RemoveTree(systemTemp);
    ASSERT_TRUE(CreateDirectoryA(systemTemp.c_str(), nullptr));
    WriteBytes(systemTemp + "_add_ds.log", Filler(60000));
    Seams().getTempPath2 = [&systemTemp](DWORD cch, LPWSTR buffer)
    {
        lstrcpynW(buffer, Wide(systemTemp).c_str(), static_cast<int>(cch));
        return static_cast<DWORD>(systemTemp.size());
    };
    {
        CLogger log("_add_ds.log");
        EXPECT_TRUE(Exists(systemTemp + "_add_ds.lock"));
        log.WriteLine("new run");
    }
    EXPECT_EQ(Masked(ReadBytes(systemTemp + "_add_ds.log")),
              Filler(60000).substr(60000 - 51200) + Section("new run\r\n"));
    EXPECT_EQ(ListTree(systemTemp), std::vector<std::string>{"_add_ds.log"});
    EXPECT_FALSE(Exists(addLog) || Exists(LogPath("_add_ds.lock")) || Exists(LogPath("_add_ds2.log")));
    RemoveTree(systemTemp);
}

TEST_F(Log, ATailThatCannotBeReadToItsEndKeepsTheOldLogWhole)
{
    WriteBytes(addLog, Filler(60000));
    // The first read gives part of the tail, the next one fails.
    int reads = 0;
    Seams().readFile = [&reads](HANDLE hFile, LPVOID pBuffer, DWORD cb, LPDWORD pcbRead, LPOVERLAPPED pOverlapped)
    {
        if (++reads > 1)
        {
            SetLastError(ERROR_NETNAME_DELETED);
            return FALSE;
        }
        return ReadFile(hFile, pBuffer, cb / 2, pcbRead, pOverlapped);
    };
    RunLogger("_add_ds.log", "new run");
    EXPECT_EQ(Masked(ReadBytes(addLog)), Filler(60000) + Section("new run\r\n"));
    EXPECT_FALSE(Exists(LogPath("_add_ds2.log")));
}

TEST_F(Log, AnotherProgramReadingAndWritingTheLogLosesNoLineOfARun)
{
    WriteBytes(addLog, Filler(60000));
    held = Hold(addLog, FILE_SHARE_READ | FILE_SHARE_WRITE, GENERIC_READ | GENERIC_WRITE);
    ASSERT_EQ(0u, ::Run("MAddDS"));
    // A line of its own between two runs, at the end of the file.
    ASSERT_NE(SetFilePointer(held, 0, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(held, "other program\r\n", 15, &written, nullptr));
    ASSERT_EQ(0u, ::Run("MAddDS"));
    Release();

    // Held without delete sharing, the log cannot be replaced: it is not cut.
    const std::string bytes = ReadBytes(addLog);
    ASSERT_EQ(bytes.substr(0, 60000), Filler(60000));
    const std::vector<LogSection> sections = ParseLog(bytes.substr(60000));
    ASSERT_EQ(sections.size(), 3u);
    EXPECT_TRUE(sections[0].wellFormed && sections[2].wellFormed);
    EXPECT_EQ(sections[1].body, std::vector<std::string>{"other program"});
    EXPECT_EQ(sections[0].body, sections[2].body);
    ASSERT_FALSE(sections[0].body.empty());
    EXPECT_EQ(sections[0].body[0], "In function MAddTwainDS");
    EXPECT_FALSE(Exists(LogPath("_add_ds2.log")));
}

enum class CopyFault
{
    None,
    WrittenShort, // the disk fills up while the copy is written
    LogGrows,     // a writer without the turn adds a line meanwhile
    CloseFails,   // its last data do not reach the disk
    FlushFails,   // it does not reach the disk before it would replace the log
};

struct CutCase
{
    const char* name;
    std::string old, kept;
    std::string leftCopy = ""; // a copy file found at the start
    DWORD holderShare = ~0u;   // another handle on the log, with this sharing
    DWORD holderAccess = GENERIC_READ;
    bool copyIsDirectory = false; // something the cut cannot write its copy to
    CopyFault copyFault = CopyFault::None;
};
void PrintTo(const CutCase& c, std::ostream* os)
{
    *os << c.name;
}

class LogCut : public Log, public ::testing::WithParamInterface<std::tuple<CutCase, std::string>>
{
};

TEST_P(LogCut, KeepsTheLinesOfTheLast51200BytesBeforeTheNewSection)
{
    const CutCase& c = std::get<0>(GetParam());
    const std::string name = std::get<1>(GetParam()), log = LogPath(name + ".log"), copy = LogPath(name + "2.log");
    WriteBytes(log, c.old);
    if (!c.leftCopy.empty())
        WriteBytes(copy, c.leftCopy);
    if (c.copyIsDirectory)
    {
        ASSERT_TRUE(CreateDirectoryA(copy.c_str(), nullptr));
    }
    if (c.holderShare != ~0u)
        held = Hold(log, c.holderShare, c.holderAccess);
    // The copy is written before the section's first line.
    bool copyStarted = false;
    HANDLE hCopy = nullptr;
    if (c.copyFault != CopyFault::None)
        Seams().writeFile = [&](HANDLE hFile, LPCVOID pBuffer, DWORD cb, LPDWORD pcbWritten, LPOVERLAPPED pOverlapped)
        {
            if (std::exchange(copyStarted, true))
                return WriteFile(hFile, pBuffer, cb, pcbWritten, pOverlapped);
            hCopy = hFile;
            if (c.copyFault == CopyFault::WrittenShort)
            {
                WriteFile(hFile, pBuffer, cb / 2, pcbWritten, pOverlapped);
                SetLastError(ERROR_DISK_FULL);
                return FALSE;
            }
            if (c.copyFault == CopyFault::LogGrows)
            {
                HANDLE hOther = OpenShared(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE);
                DWORD cbOther = 0;
                EXPECT_TRUE(WriteFile(hOther, "another writer\r\n", 16, &cbOther, nullptr));
                CloseHandle(hOther);
            }
            return WriteFile(hFile, pBuffer, cb, pcbWritten, pOverlapped);
        };
    if (c.copyFault == CopyFault::CloseFails)
        Seams().closeHandle = [&hCopy](HANDLE h)
        {
            BOOL bClosed = CloseHandle(h);
            if (h != hCopy)
                return bClosed;
            hCopy = nullptr;
            SetLastError(ERROR_DISK_FULL);
            return FALSE;
        };
    if (c.copyFault == CopyFault::FlushFails)
        Seams().flushFileBuffers = [](HANDLE)
        {
            SetLastError(ERROR_DISK_FULL);
            return FALSE;
        };
    RunLogger(name + ".log", "new run");
    Release();
    EXPECT_EQ(Masked(ReadBytes(log)), c.kept + Section("new run\r\n"));
    EXPECT_EQ(Exists(copy), c.copyIsDirectory);
    RemoveTree(copy);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, LogCut,
    ::testing::Combine(
        ::testing::Values(
            // Unended, so that a cut would show by adding a line end.
            CutCase{"Exactly51200BytesStayUncut", Filler(51193) + "unended", Filler(51193) + "unended"},
            CutCase{"OneByteMoreKeepsATailOfTheFirstLine", Filler(51201), Filler(51201).substr(1)},
            CutCase{"CutAtALineStartKeepsThatLineWhole", "gone\r\n" + Filler(51200), Filler(51200)},
            CutCase{"CutBetweenCrAndLfKeepsAnEmptyLine", "gone\r\n" + Filler(51199), "\r\n" + Filler(51199)},
            CutCase{"UnendedLastLineGetsALineEnd", Filler(51200) + "unended", Filler(51200).substr(7) + "unended\r\n"},
            CutCase{"LargeLogKeepsOnlyItsEnd", Filler(200000), Filler(200000).substr(200000 - 51200)},
            CutCase{"CtrlZInAKeptLineIsCopiedLikeAnyByte",
                    "gone\r\n" + Filler(51195) +
                        "a\x1a"
                        "b\r\n",
                    Filler(51195) + "a\x1a"
                                    "b\r\n"},
            CutCase{"CopyLeftBehindIsOverwritten", Filler(60000), Filler(60000).substr(60000 - 51200),
                    std::string(70000, 'z') + "\r\n"},
            // No FILE_SHARE_DELETE: the log cannot be replaced.
            CutCase{"BlockedReplaceKeepsTheOldLogWhole", Filler(60000), Filler(60000), "",
                    FILE_SHARE_READ | FILE_SHARE_WRITE},
            CutCase{"ReaderAndWriterHoldingTheLogKeepsItWhole", Filler(60000), Filler(60000), "",
                    FILE_SHARE_READ | FILE_SHARE_WRITE, GENERIC_READ | GENERIC_WRITE},
            CutCase{"CopyThatCannotBeMadeKeepsTheOldLogWhole", Filler(60000), Filler(60000), "", ~0u, GENERIC_READ,
                    true},
            CutCase{"CopyWrittenShortKeepsTheOldLogWhole", Filler(60000), Filler(60000), "", ~0u, GENERIC_READ, false,
                    CopyFault::WrittenShort},
            CutCase{"CopyThatFailsToCloseKeepsTheOldLogWhole", Filler(60000), Filler(60000), "", ~0u, GENERIC_READ,
                    false, CopyFault::CloseFails},
            CutCase{"LogThatGrewDuringTheCutIsNotReplaced", Filler(60000), Filler(60000) + "another writer\r\n", "",
                    ~0u, GENERIC_READ, false, CopyFault::LogGrows},
            CutCase{"CopyNotFlushedToTheDiskKeepsTheOldLogWhole", Filler(60000), Filler(60000), "", ~0u, GENERIC_READ,
                    false, CopyFault::FlushFails}),
        ::testing::Values("_add_ds", "_remove_ds")),
    [](const auto& info) { return std::get<0>(info.param).name + std::get<1>(info.param); });

// Where others may write the temp directory, a link planted under one of
// the log's names: a second name of another file (tag 0), or a reparse
// point, which Wine cannot make: a file that the seam reports as one with
// the tag. Only a name surrogate's tag leads elsewhere; a log that a filter
// serves (deduplicated, compressed, a cloud placeholder, an HSM stub) is the
// log itself, kept and written through the filter.
class PlantedLink : public Log, public ::testing::WithParamInterface<std::tuple<const char*, DWORD>>
{
};

TEST_P(PlantedLink, IsTakenOverAndTheFileItLeadsToStaysAsItWas)
{
    const std::string planted = LogPath(std::get<0>(GetParam())), other = LogPath("other file");
    const DWORD tag = std::get<1>(GetParam());
    const bool atLog = planted == addLog, link = tag == 0 || IsReparseTagNameSurrogate(tag);
    if (!atLog)
        WriteBytes(addLog, Filler(60000));
    WriteBytes(other, "other file\r\n");
    if (tag == 0)
        ASSERT_TRUE(CreateHardLinkA(planted.c_str(), other.c_str(), nullptr)) << GetLastError();
    else
        WriteBytes(planted, "reparse point\r\n");
    HANDLE hPlanted = INVALID_HANDLE_VALUE;
    int followed = 0;
    Seams().createFile = [&](LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                             DWORD flags, HANDLE hTemplate)
    {
        followed += (flags & FILE_FLAG_OPEN_REPARSE_POINT) == 0;
        HANDLE h = CreateFileW(path, access, share, sa, disposition, flags, hTemplate);
        if (path == Wide(planted) && disposition != CREATE_NEW && tag != 0 && followed == 0)
            hPlanted = h;
        return h;
    };
    Seams().getFileInformationByHandle = [&hPlanted](HANDLE h, LPBY_HANDLE_FILE_INFORMATION pInfo)
    {
        BOOL bGot = GetFileInformationByHandle(h, pInfo);
        if (h == hPlanted)
            pInfo->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        return bGot;
    };
    Seams().getFileInformationByHandleEx = [&](HANDLE h, FILE_INFO_BY_HANDLE_CLASS c, LPVOID p, DWORD cb)
    {
        BOOL bGot = GetFileInformationByHandleEx(h, c, p, cb);
        if (h == std::exchange(hPlanted, INVALID_HANDLE_VALUE) && c == FileAttributeTagInfo)
            static_cast<FILE_ATTRIBUTE_TAG_INFO*>(p)->ReparseTag = tag;
        return bGot;
    };
    {
        CLogger log("_add_ds.log");
        // Nor is the other file held open against its own users.
        held = CreateFileA(other.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(held, INVALID_HANDLE_VALUE) << GetLastError();
        Release();
        log.WriteLine("new run");
    }
    EXPECT_EQ(followed, link ? 0 : 1) << "a link followed, or a served file written without its filter";
    EXPECT_EQ(ReadBytes(other), "other file\r\n");
    EXPECT_EQ(Masked(ReadBytes(addLog)),
              (atLog ? (link ? "" : "reparse point\r\n") : Filler(60000).substr(60000 - 51200)) +
                  Section("new run\r\n"));
    EXPECT_FALSE(Exists(LogPath("_add_ds2.log")) || Exists(LogPath("_add_ds.lock")));
    DeleteFileA(other.c_str());
}

std::string PlantedName(const ::testing::TestParamInfo<std::tuple<const char*, DWORD>>& info)
{
    std::string name = std::get<0>(info.param);
    name.erase(std::remove_if(name.begin(), name.end(), ::ispunct), name.end());
    char tag[16];
    std::snprintf(tag, sizeof(tag), "%08lX", static_cast<unsigned long>(std::get<1>(info.param)));
    return name + (std::get<1>(info.param) == 0 ? std::string("HardLink") : "Tag" + std::string(tag));
}

INSTANTIATE_TEST_SUITE_P(Links, PlantedLink,
                         ::testing::Combine(::testing::Values("_add_ds.log", "_add_ds2.log", "_add_ds.lock"),
                                            ::testing::Values(0, IO_REPARSE_TAG_SYMLINK, IO_REPARSE_TAG_MOUNT_POINT)),
                         PlantedName);
INSTANTIATE_TEST_SUITE_P(Served, PlantedLink,
                         ::testing::Combine(::testing::Values("_add_ds.log"),
                                            ::testing::Values(IO_REPARSE_TAG_DEDUP, IO_REPARSE_TAG_WOF,
                                                              IO_REPARSE_TAG_CLOUD_6, IO_REPARSE_TAG_HSM)),
                         PlantedName);

// A take-over deletes the name it looked at, not a file that another run
// made under it meanwhile: that run's log stays, and this run goes unlogged.
TEST_F(Log, ATakeOverDeletesOnlyTheFileItLookedAt)
{
    const std::string other = LogPath("other file");
    WriteBytes(other, "other file\r\n");
    ASSERT_TRUE(CreateHardLinkA(addLog.c_str(), other.c_str(), nullptr)) << GetLastError();
    HANDLE hPlanted = INVALID_HANDLE_VALUE;
    Seams().createFile = [&](LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                             DWORD flags, HANDLE hTemplate)
    {
        HANDLE h = CreateFileW(path, access, share, sa, disposition, flags, hTemplate);
        if (path == Wide(addLog) && disposition == OPEN_ALWAYS && hPlanted == INVALID_HANDLE_VALUE)
            hPlanted = h;
        return h;
    };
    Seams().closeHandle = [&](HANDLE h)
    {
        BOOL bClosed = CloseHandle(h);
        if (h == hPlanted)
        {
            hPlanted = nullptr;
            // The other run: the name taken over, its own log made there.
            DeleteFileA(addLog.c_str());
            WriteBytes(addLog, "another run's section\r\n");
        }
        return bClosed;
    };
    EXPECT_FALSE(CLogger("_add_ds.log").IsOpen());
    EXPECT_EQ(ReadBytes(addLog), "another run's section\r\n");
    EXPECT_EQ(ReadBytes(other), "other file\r\n");
    DeleteFileA(other.c_str());
}

struct TempDirCase
{
    const char* name;
    const wchar_t* dir;
    const char* bestFit; // made beforehand, when not null
};
void PrintTo(const TempDirCase& c, std::ostream* os)
{
    *os << c.name;
}

// A temp directory named after a user whose name the ANSI code page (1252
// here) can spell, best fits to another name, or cannot spell at all.
class WideTempDir : public Log, public ::testing::WithParamInterface<TempDirCase>
{
};

TEST_P(WideTempDir, HoldsTheLogOfARunItsLockAndItsCut)
{
    const TempDirCase& c = GetParam();
    const std::wstring log = c.dir + std::wstring(L"\\_add_ds.log");
    ASSERT_TRUE(CreateDirectoryW(c.dir, nullptr)) << GetLastError();
    ASSERT_TRUE(!c.bestFit || CreateDirectoryA(c.bestFit, nullptr)) << GetLastError();
    WriteBytes(log, Filler(60000));
    // The exe inherits the wide environment block.
    std::vector<std::wstring> saved;
    for (const wchar_t* name : {L"TMP", L"TEMP"})
    {
        wchar_t value[MAX_PATH] = L"";
        GetEnvironmentVariableW(name, value, MAX_PATH);
        saved.push_back(value);
        SetEnvironmentVariableW(name, c.dir);
    }
    const DWORD status = ::Run("MAddDS");
    SetEnvironmentVariableW(L"TMP", saved[0].c_str());
    SetEnvironmentVariableW(L"TEMP", saved[1].c_str());

    const std::string bytes = ReadBytes(log);
    DeleteFileW(log.c_str());
    // Nothing else is left behind: no lock and no copy.
    EXPECT_TRUE(RemoveDirectoryW(c.dir)) << GetLastError();
    if (c.bestFit)
    {
        EXPECT_EQ(ListTree(c.bestFit), std::vector<std::string>{});
        RemoveTree(c.bestFit);
    }
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(bytes.substr(0, 51200), Filler(60000).substr(60000 - 51200));
    const std::vector<LogSection> sections = ParseLog(bytes.substr(std::min<size_t>(bytes.size(), 51200)));
    ASSERT_EQ(sections.size(), 1u);
    EXPECT_TRUE(sections[0].wellFormed);
    EXPECT_EQ(sections[0].body.at(0), "In function MAddTwainDS");
}

INSTANTIATE_TEST_SUITE_P(Names, WideTempDir,
                         ::testing::Values(TempDirCase{"Plain", L"C:\\plain", nullptr},
                                           TempDirCase{"InTheCodePage", L"C:\\J\u00fcrgen", nullptr},
                                           TempDirCase{"BestFitted", L"C:\\\u0141ukasz", nullptr},
                                           TempDirCase{"BestFittedToADirectoryThatExists", L"C:\\\u0141ukasz",
                                                       "C:\\Lukasz"},
                                           TempDirCase{"Cyrillic", L"C:\\\u042e\u0440\u0438\u0439", nullptr},
                                           TempDirCase{"Han", L"C:\\\u5f20\u4f1f", nullptr}),
                         [](const auto& info) { return std::string(info.param.name); });

struct ClosedCase
{
    const char* name;
    std::function<HANDLE()> arrange; // returns a handle to close afterwards
};
void PrintTo(const ClosedCase& c, std::ostream* os)
{
    *os << c.name;
}

// Leaves the real temp directory in the buffer, for a logger that would
// ignore the result. Through GetTempPath2W, a logger must not fall back to
// GetTempPathW's directory either.
std::function<HANDLE()> TempPathReturning(DWORD result,
                                          std::function<DWORD(DWORD, LPWSTR)> SSeams::*query = &SSeams::getTempPath)
{
    return [result, query]
    {
        Seams().*query = [result](DWORD, LPWSTR buffer)
        {
            lstrcpyW(buffer, Wide(TempDir()).c_str());
            return result;
        };
        return INVALID_HANDLE_VALUE;
    };
}

std::function<HANDLE()> DirectoryAt(const char* suffix)
{
    return [suffix]
    {
        DeleteFileA(LogPath(suffix).c_str());
        EXPECT_TRUE(CreateDirectoryA(LogPath(suffix).c_str(), nullptr));
        return INVALID_HANDLE_VALUE;
    };
}

class ClosedLog : public Log, public ::testing::WithParamInterface<ClosedCase>
{
};

TEST_P(ClosedLog, WritesNothingAndLeavesTheOldLogAsItIs)
{
    const std::string old = Filler(60000);
    WriteBytes(addLog, old);
    held = GetParam().arrange();
    {
        CLogger log("_add_ds.log");
        log.WriteLabel("Label:");
        log.WriteLine("x");
        log.LogFormat("%s", "x");
    }
    Release();
    const bool logIsDirectory = GetFileAttributesA(addLog.c_str()) == FILE_ATTRIBUTE_DIRECTORY;
    EXPECT_EQ(ReadBytes(addLog), logIsDirectory ? "" : old);
}

INSTANTIATE_TEST_SUITE_P(
    Causes, ClosedLog,
    ::testing::Values(ClosedCase{"LogPathIsADirectory", DirectoryAt("_add_ds.log")},
                      ClosedCase{"LogHeldWithoutSharing", [] { return Hold(LogPath("_add_ds.log"), 0); }},
                      ClosedCase{"TempPathQueryFails", TempPathReturning(0)},
                      ClosedCase{"TempPathOneTooLongForTheBuffer", TempPathReturning(MAX_PATH)},
                      ClosedCase{"TempPathFarTooLong", TempPathReturning(1000)},
                      ClosedCase{"TempPath2QueryFails", TempPathReturning(0, &SSeams::getTempPath2)},
                      ClosedCase{"TempPath2TooLongForTheBuffer", TempPathReturning(MAX_PATH, &SSeams::getTempPath2)}),
    [](const auto& info) { return std::string(info.param.name); });

std::vector<intptr_t> closed;

bool RecordClose(intptr_t h)
{
    closed.push_back(h);
    return h != 7;
}

// Steps on the owner a: '6' Reset(6), 'n' Reset(-1), '+' a Close() that
// succeeds, '-' one that fails (nothing held, or 7, which the close function
// fails on), 'm' a moved into a new owner, 'b' a moved onto the owner b.
TEST_F(Log, AHandleOwnerClosesEachHandleOnceAndNeverOneThatIsNone)
{
    using COwner = CHandleOwner<intptr_t, RecordClose, 0, -1>;
    const struct
    {
        intptr_t a, b;
        std::string steps;
        std::vector<intptr_t> closed;
    } cases[] = {
        {5, 0, "", {5}},  {-1, 0, "-", {}}, {5, 0, "6n", {5, 6}}, {5, 0, "+-", {5}},
        {7, 0, "-", {7}}, {5, 0, "m", {5}}, {5, 6, "b", {6, 5}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.a) + " " + std::to_string(c.b) + " " + c.steps);
        closed.clear();
        {
            std::vector<COwner> moved;
            COwner a(c.a), b(c.b);
            for (char step : c.steps)
            {
                if (step == '6' || step == 'n')
                    a.Reset(step == '6' ? 6 : -1);
                else if (step == '+' || step == '-')
                    EXPECT_EQ(a.Close(), step == '+');
                else if (step == 'm')
                    moved.push_back(std::move(a));
                else
                    b = std::move(a);
            }
        }
        EXPECT_EQ(closed, c.closed);
    }
}

} // namespace
