#include "harness/TestFiles.h"
#include "harness/TestLines.h"
#include "harness/TestLog.h"
#include "harness/TestMachine.h"
#include "harness/TestRegistry.h"
#include "seams/Seams.h"

#include "log/CLogger.h"
#include "twainds/CModTwainDS.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{

const char kLog[] = "_devices_test.log";

std::string Driver(const std::string& instance)
{
    return std::string(kImageClassGuid) + "\\" + instance;
}

TestDevice WithDriver(const std::string& instance, const std::string& driver)
{
    TestDevice device = ImageDevice(instance);
    device.driver = driver;
    device.hasDriverKey = false; // the walk never opens it
    return device;
}

struct Walk
{
    Lines instances, lines;
};

// One logged walk to its end; after resetAfter devices the walk is restarted.
Walk LoggedWalk(CModTwainDS& job, int bufferSize = 5, int resetAfter = -1)
{
    DeleteFileA(LogPath(kLog).c_str());
    Walk walk;
    {
        CLogger logger(kLog);
        std::vector<char> buffer(bufferSize, '\0');
        for (int n = 0; job.NextDevice(buffer.data(), bufferSize, true, &logger);)
        {
            walk.instances.push_back(buffer.data());
            if (++n == resetAfter)
                job.m_DriverCalls.RestartWalk();
        }
    }
    walk.lines = LastBody(LogPath(kLog));
    return walk;
}

// Three walks of one job: a complete walk is answered from what the first
// one learnt, and must write the same lines.
void ExpectWalks(CModTwainDS& job, const Lines& instances, const Lines& lines, int resetAfter = -1)
{
    for (int i = 1; i <= 3; ++i)
    {
        SCOPED_TRACE("walk " + std::to_string(i));
        Walk walk = LoggedWalk(job, 5, resetAfter);
        EXPECT_EQ(walk.instances, instances);
        EXPECT_EQ(walk.lines, lines);
    }
}

class DeviceWalk : public CleanMachine
{
protected:
    void TearDown() override
    {
        ResetSeams();
        DeleteFileA(LogPath(kLog).c_str());
        CleanMachine::TearDown();
    }
};

} // namespace

TEST_F(DeviceWalk, NoDeviceEndsAtIndexZero)
{
    CModTwainDS job("vrtk_", "DeviceData", "InstallCLSID");
    ExpectWalks(job, {}, {EnumLine(0, 0), EndLine(0)});
}

TEST_F(DeviceWalk, TwoDevicesComeInIndexOrderThenTheWalkStartsAgain)
{
    AddDevice(ImageDevice("0001"));
    AddDevice(ImageDevice("0000"));
    {
        CModTwainDS job("vrtk_", "DeviceData", "InstallCLSID");
        char buffer[5];
        std::memset(buffer, 'x', sizeof(buffer));
        ASSERT_TRUE(job.NextDevice(buffer, sizeof(buffer), false, nullptr));
        EXPECT_EQ(std::string(buffer, sizeof(buffer)), std::string("0000", 5));
        ASSERT_TRUE(job.NextDevice(buffer, sizeof(buffer), false, nullptr));
        EXPECT_STREQ(buffer, "0001");
        EXPECT_FALSE(job.NextDevice(buffer, sizeof(buffer), false, nullptr));
        ASSERT_TRUE(job.NextDevice(buffer, sizeof(buffer), false, nullptr));
        EXPECT_STREQ(buffer, "0000");
    }
    CModTwainDS job("vrtk_", "DeviceData", "InstallCLSID");
    ExpectWalks(job, {"0000", "0001"},
                {EnumLine(1, 0), PropertyLine(1, Driver("0000")), EnumLine(1, 1), PropertyLine(1, Driver("0001")),
                 EnumLine(0, 2), EndLine(2)});
}

TEST_F(DeviceWalk, DeviceWithoutDriverIsSkippedBetweenTwoOthers)
{
    AddDevice(ImageDevice("0000"));
    AddDevice(WithDriver("0001", ""));
    AddDevice(ImageDevice("0002"));
    CModTwainDS job("vrtk_", "DeviceData", "InstallCLSID");
    ExpectWalks(job, {"0000", "0002"},
                {EnumLine(1, 0), PropertyLine(1, Driver("0000")), EnumLine(1, 1), PropertyLine(0, ""), EnumLine(1, 2),
                 PropertyLine(1, Driver("0002")), EnumLine(0, 3), EndLine(3)});
}

TEST_F(DeviceWalk, SettingIndexToZeroRestartsTheWalk)
{
    AddDevice(ImageDevice("0000"));
    AddDevice(ImageDevice("0001"));
    CModTwainDS job("vrtk_", "DeviceData", "InstallCLSID");
    const Lines both = {EnumLine(1, 0), PropertyLine(1, Driver("0000")),
                        EnumLine(1, 1), PropertyLine(1, Driver("0001")),
                        EnumLine(0, 2), EndLine(2)};
    Lines restarted = {EnumLine(1, 0), PropertyLine(1, Driver("0000"))};
    restarted.insert(restarted.end(), both.begin(), both.end());
    ExpectWalks(job, {"0000", "0000", "0001"}, restarted, 1);
    ExpectWalks(job, {"0000", "0001"}, both);
}

TEST_F(DeviceWalk, DeviceAddedAfterTheSetWasMadeIsNotSeen)
{
    AddDevice(ImageDevice("0000"));
    CModTwainDS job("vrtk_", "DeviceData", "InstallCLSID");
    AddDevice(ImageDevice("0001"));
    EXPECT_EQ(LoggedWalk(job).instances, Lines{"0000"});
}

TEST_F(DeviceWalk, DriverValueDecidesTheInstanceNumber)
{
    struct Case
    {
        std::string driver;
        int bufferSize;
        std::string instance, skipLine; // "" = device skipped, no line after the property line
    };
    std::vector<Case> cases = {
        {Driver("0000"), 5, "0000", ""},
        {"{other}\\x\\0042", 260, "0042", ""},
        {"NoBackslash0000", 5, "", ""},
    };
    // Only four decimal digits name a device's files.
    for (std::string name : {"00000", "000", "000.", "000 ", "M1", "N", "00a0", "", ".", "..", "a:b", "a*", "a?", "a\"",
                             "a<", "a>", "a|", "a/b"})
    {
        for (int bufferSize : {5, 260})
            cases.push_back(
                {Driver(name), bufferSize, "", "Instance " + name + " is not four decimal digits, device skipped"});
    }

    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.driver + " with a buffer of " + std::to_string(c.bufferSize));
        CDeviceScope scope({WithDriver("0000", c.driver)});
        CModTwainDS job("vrtk_", "DeviceData", "InstallCLSID");
        Walk walk = LoggedWalk(job, c.bufferSize);
        Lines lines = {EnumLine(1, 0), PropertyLine(1, c.driver)};
        if (!c.skipLine.empty())
            lines.push_back(c.skipLine);
        lines.insert(lines.end(), {EnumLine(0, 1), EndLine(1)});
        EXPECT_EQ(walk.lines, lines);
        EXPECT_EQ(walk.instances, c.instance.empty() ? Lines{} : Lines{c.instance});
    }
}

TEST_F(DeviceWalk, EnumerationErrorAtOneIndexSkipsOnlyThatIndex)
{
    AddDevice(ImageDevice("0000"));
    AddDevice(ImageDevice("0001"));
    // A failing entry slipped in at index 1, the devices around it.
    Seams().enumDeviceInfo = [](HDEVINFO hDevInfo, DWORD idx, PSP_DEVINFO_DATA record) -> BOOL
    {
        if (idx != 1)
            return SetupDiEnumDeviceInfo(hDevInfo, idx > 1 ? idx - 1 : idx, record);
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    };
    CModTwainDS job("vrtk_", "DeviceData", "InstallCLSID");
    ExpectWalks(job, {"0000", "0001"},
                {EnumLine(1, 0), PropertyLine(1, Driver("0000")), EnumLine(0, 1), SkipLine(ERROR_INVALID_DATA),
                 EnumLine(1, 2), PropertyLine(1, Driver("0001")), EnumLine(0, 3), EndLine(3)});
}

TEST_F(DeviceWalk, ErrorsAtEveryIndexEndTheWalkAfterIndex1001)
{
    std::vector<DWORD> asked, expectedAsked;
    Seams().enumDeviceInfo = [&asked](HDEVINFO, DWORD idx, PSP_DEVINFO_DATA) -> BOOL
    {
        asked.push_back(idx);
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    };
    Lines lines;
    for (int idx = 0; idx <= 1001; ++idx)
    {
        lines.insert(lines.end(), {EnumLine(0, idx), idx <= 1000 ? SkipLine(ERROR_GEN_FAILURE) : EndLine(idx)});
        expectedAsked.push_back(idx);
    }
    lines.insert(lines.end() - 1, "SetupDiEnumDeviceInfo failed, GetLastError returned 31");

    CModTwainDS job("vrtk_", "DeviceData", "InstallCLSID");
    Walk first = LoggedWalk(job);
    EXPECT_EQ(asked, expectedAsked);
    EXPECT_EQ(first.lines, lines);
    ExpectWalks(job, {}, lines);
}

TEST_F(DeviceWalk, WithoutADeviceSetEveryWalkIsEmptyAndUnlogged)
{
    AddDevice(ImageDevice("0000"));
    const GUID kImage = {0x6BDD1FC6, 0x810F, 0x11D0, {0xBE, 0xC7, 0x08, 0x00, 0x2B, 0xE2, 0x09, 0x2F}};
    int calls = 0;
    Seams().getClassDevs = [&](const GUID* guid, PCSTR enumerator, HWND hwnd, DWORD flags)
    {
        ++calls;
        EXPECT_TRUE(guid && IsEqualGUID(*guid, kImage));
        EXPECT_EQ(enumerator, nullptr);
        EXPECT_EQ(hwnd, nullptr);
        EXPECT_EQ(flags, 0u); // every installed device, present or not
        return static_cast<HDEVINFO>(INVALID_HANDLE_VALUE);
    };
    CModTwainDS job("vrtk_", "DeviceData", "InstallCLSID");
    EXPECT_EQ(calls, 1);
    char buffer[5] = {};
    EXPECT_FALSE(job.NextDevice(buffer, sizeof(buffer), false, nullptr));
    ExpectWalks(job, {}, {});
}

class DataSourceJob : public CleanMachine
{
protected:
    void TearDown() override
    {
        ResetSeams();
        CleanMachine::TearDown();
    }
};

TEST_F(DataSourceJob, TheHardwareIdentifierIsTheJobsOwnCopy)
{
    CDeviceScope devices({ImageDevice("0000", {{"DeviceData", {RegSz("InstallCLSID", "USB\\VID_ABC")}}})});
    ASSERT_TRUE(CreateDirectoryA(DsDir("0000").c_str(), nullptr));
    WriteBytes(Staged("0000"), "staged");
    char szId[260] = "vid_abc";
    CModTwainDS job(szId, "vrtk_", "DeviceData", "InstallCLSID", "sw");
    std::strcpy(szId, "vid_xyz");
    job.AddTwainDS(true, false);
    EXPECT_EQ(ReadBytes(DsFile("0000")), "staged");
}

TEST_F(DataSourceJob, TwainDirectoryFollowsTheWindowsDirectoryUnderEitherCodePage)
{
    const std::string dir250 = "C:\\" + std::string(247, 'w');
    // One character under code page 932, ending in the byte of a backslash.
    const std::string kanji = "C:\\\x95\x5C";
    struct
    {
        bool fails;
        std::string windowsDir, twainDir;
    } cases[] = {
        {false, kanji, kanji + (GetACP() == 932 ? "\\" : "") + "twain_32"},
        {false, "C:\\WINDOWS", "C:\\WINDOWS\\twain_32"},
        {false, "C:\\", "C:\\twain_32"},
        {false, "D:\\Win\\", "D:\\Win\\twain_32"},
        {false, dir250, dir250 + "\\twain_32"},
        {false, dir250 + "w", ""},
        {false, std::string(300, 'w'), ""}, // reported as not fitting the buffer
        {true, "", ""},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.fails ? "failure" : c.windowsDir);
        Seams().getWindowsDirectory = [&c](LPSTR buffer, UINT size) -> UINT
        {
            if (c.fails || c.windowsDir.size() >= size)
                return c.fails ? 0 : static_cast<UINT>(c.windowsDir.size() + 1);
            std::strcpy(buffer, c.windowsDir.c_str());
            return static_cast<UINT>(c.windowsDir.size());
        };
        const CDsNames names("vrtk_");
        EXPECT_EQ(std::string(names.TwainDir()), c.twainDir);
        EXPECT_EQ(names.HasTwainDir(), !c.twainDir.empty());
    }
}
