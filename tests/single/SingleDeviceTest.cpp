#include "harness/TestFiles.h"
#include "harness/TestLines.h"
#include "harness/TestLog.h"
#include "harness/TestMachine.h"
#include "harness/TestProcess.h"
#include "harness/TestRegistry.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace
{

const std::string kId = "{5A1C0D3E-7B42-4F19-9E60-2D8B7C3A4F15}";
const char kValueName[] = "HardwareID";
const char kParams[] = "SYSTEM\\Imaging\\Params";
const std::string kPrefix = "vrtk_";

std::string AddLog()
{
    return LogPath("_add_ds.log");
}
std::string RemoveLog()
{
    return LogPath("_remove_ds.log");
}

std::string Arg(const std::string& text)
{
    return text.empty() ? "\"\"" : text;
}

std::string Call(const std::string& function, const std::string& id, const std::string& key = "DeviceData",
                 const std::string& prefix = kPrefix)
{
    return function + " " + Arg(id) + " " + prefix + " " + Arg(key) + " " + kValueName + " " + kParams;
}

// The check values sit in the subkey key of the driver key ("" = the driver key itself).
TestDevice Scanner(int i, std::vector<RegValue> values, const std::string& key = "DeviceData")
{
    return ImageDevice(Inst(i), {{key, std::move(values)}});
}
TestDevice Scanner(int i, const std::string& text)
{
    return Scanner(i, {RegSz(kValueName, text)});
}

using SingleDeviceAdd = CleanMachine;
using SingleDeviceRemove = CleanMachine;

TEST_F(SingleDeviceAdd, NoMatchingDeviceTouchesNothingAndExitsZero)
{
    CDeviceScope devices({Scanner(0, "{00000000-0000-0000-0000-000000000000}"),
                          Scanner(1, {RegSz(kValueName, kId)}, "OtherKey"), Scanner(2, {RegSz("Other", kId)})});
    for (int i = 0; i < 3; ++i)
        Put(Staged(i), "staged module");
    const Lines before = ListTree(TwainDir());

    EXPECT_EQ(0u, ::Run(Call("AddDS", kId)));
    EXPECT_EQ(before, ListTree(TwainDir()));
    EXPECT_EQ(SingleHeader(kId) + Device(0, 0) + Device(1, 1) + Device(2, 2) + WalkEnd(3), LastBody(AddLog()));
}

TEST_F(SingleDeviceAdd, MovesStagedFilesOfMatchingDevicesInEnumerationOrder)
{
    // Created in reverse: the walk follows the registry's order.
    CDeviceScope devices({Scanner(2, "ROOT\\SCAN&" + kId + "&REV_01"), Scanner(1, "no id here"), Scanner(0, kId)});
    for (int i = 0; i < 3; ++i)
        Put(Staged(i), "module " + Inst(i));

    EXPECT_EQ(0u, ::Run(Call("AddDS", kId)));
    EXPECT_EQ((Lines{"vrtk_0000\\", "vrtk_0000\\vrtk_0000.ds", "vrtk_0001\\", "vrtk_0001\\vrtk_0001", "vrtk_0002\\",
                     "vrtk_0002\\vrtk_0002.ds"}),
              ListTree(TwainDir()));
    EXPECT_EQ("module 0000", ReadBytes(DsFile(0)));
    EXPECT_EQ("module 0002", ReadBytes(DsFile(2)));
    EXPECT_EQ(SingleHeader(kId) + Device(0, 0) + AddPaths(0) + Device(1, 1) + Device(2, 2) + AddPaths(2) + WalkEnd(3),
              LastBody(AddLog()));
}

TEST_F(SingleDeviceAdd, SecondRunChangesNothing)
{
    CDeviceScope devices({Scanner(0, kId)});
    Put(Staged(0), "module bytes");
    for (int run = 0; run < 2; ++run)
    {
        EXPECT_EQ(0u, ::Run(Call("AddDS", kId)));
        EXPECT_EQ((Lines{"vrtk_0000\\", "vrtk_0000\\vrtk_0000.ds"}), ListTree(TwainDir()));
        EXPECT_EQ("module bytes", ReadBytes(DsFile(0)));
    }
    const std::vector<LogSection> sections = ParseLog(ReadBytes(AddLog()));
    ASSERT_EQ(2u, sections.size());
    EXPECT_EQ(sections[0].body, sections[1].body);
    EXPECT_EQ(SingleHeader(kId) + Device(0, 0) + AddPaths(0) + WalkEnd(1), sections[1].body);
}

TEST_F(SingleDeviceAdd, BothFilesPresentChangesNothing)
{
    CDeviceScope devices({Scanner(0, kId)});
    Put(Staged(0), "new module");
    WriteBytes(DsFile(0), "installed module");

    EXPECT_EQ(0u, ::Run(Call("AddDS", kId)));
    EXPECT_EQ((Lines{"vrtk_0000\\", "vrtk_0000\\vrtk_0000", "vrtk_0000\\vrtk_0000.ds"}), ListTree(TwainDir()));
    EXPECT_EQ("new module", ReadBytes(Staged(0)));
    EXPECT_EQ("installed module", ReadBytes(DsFile(0)));
}

// Every readable check value holds an empty identifier, as an unset
// installer property gives it: both functions refuse it and touch nothing.
TEST_F(SingleDeviceAdd, EmptyIdentifierIsRefused)
{
    CDeviceScope devices({Scanner(0, "anything"), Scanner(1, {RegDword(kValueName, 7)}),
                          Scanner(2, std::vector<RegValue>{}), Scanner(3, {RegSz(kValueName, "x")}, "OtherKey"),
                          Scanner(4, std::string(260, 'a')), Scanner(5, "")});
    for (int i = 0; i < 6; ++i)
        Put(Staged(i), "staged module");
    WriteBytes(DsFile(0), "installed module");
    const Lines before = ListTree(TwainDir());

    EXPECT_EQ(1u, ::Run(Call("AddDS", "")));
    EXPECT_EQ(1u, ::Run(Call("RemoveDS", "")));
    EXPECT_EQ(before, ListTree(TwainDir()));
    EXPECT_FALSE(Exists(AddLog()) || Exists(RemoveLog()));
}

TEST_F(SingleDeviceAdd, EmptyCheckKeyReadsTheDriverKeyItself)
{
    CDeviceScope devices({Scanner(0, {RegSz(kValueName, kId)}, ""), Scanner(1, kId)});
    Put(Staged(0), "staged module");
    Put(Staged(1), "staged module");

    EXPECT_EQ(0u, ::Run(Call("AddDS", kId, "")));
    EXPECT_TRUE(Exists(DsFile(0)));
    EXPECT_TRUE(Exists(Staged(1)));
    EXPECT_EQ(SingleHeader(kId, "") + Device(0, 0) + AddPaths(0) + Device(1, 1) + WalkEnd(2), LastBody(AddLog()));
}

TEST_F(SingleDeviceAdd, CheckValueIsSearchedWithinTheBytesRead)
{
    std::string lower = kId;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    const std::string b = "ROOT\\SCAN&", a(260, 'a');
    const struct
    {
        const char* what;
        RegValue value;
        std::string id;
        bool match;
    } rows[] = {
        {"text differing in case only", RegSz(kValueName, lower), kId, true},
        {"id within the text", RegSz(kValueName, b + kId + "&REV_01"), lower, true},
        {"text lacking the id's last character", RegSz(kValueName, kId.substr(0, kId.size() - 1)), kId, false},
        {"expandable text", RegRaw(kValueName, REG_EXPAND_SZ, kId + '\0'), kId, true},
        {"text stored without terminator", RegRaw(kValueName, REG_SZ, b + kId), kId, true},
        {"259 characters ending in the id", RegSz(kValueName, a.substr(0, 259 - kId.size()) + kId), kId, true},
        {"260 characters", RegSz(kValueName, a.substr(0, 260 - kId.size()) + kId), kId, false},
        {"multi-string, id in the first string", RegMultiSz(kValueName, {kId, "second"}), kId, true},
        {"multi-string, id in the second string", RegMultiSz(kValueName, {"first", kId}), kId, false},
        {"binary without terminator", RegRaw(kValueName, REG_BINARY, b + kId), kId, true},
        {"binary, id after a NUL", RegRaw(kValueName, REG_BINARY, std::string("ab\0", 3) + kId), kId, false},
        {"binary of 260 bytes ending in the id", RegRaw(kValueName, REG_BINARY, a.substr(0, 260 - kId.size()) + kId),
         kId, true},
        {"binary of 261 bytes", RegRaw(kValueName, REG_BINARY, a.substr(0, 261 - kId.size()) + kId), kId, false},
        {"DWORD of four characters", RegDword(kValueName, 0x34333231), "1234", true},
        {"DWORD of two characters", RegDword(kValueName, 0x3231), "12", true},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.what);
        CDeviceScope devices({Scanner(0, {row.value})});
        Put(Staged(0), "staged module");
        EXPECT_EQ(0u, ::Run(Call("AddDS", row.id)));
        EXPECT_EQ(row.match, Exists(DsFile(0)));
        EXPECT_NE(row.match, Exists(Staged(0)));
        ResetTwainDir();
    }
}

TEST_F(SingleDeviceAdd, PathsLongerThan259CharactersSkipOnlyThatAction)
{
    const std::string fits(113, 'p'), tooLong(114, 'p'), longer(120, 'q');
    ASSERT_EQ(258u, DsFile(0, fits).size());
    ASSERT_EQ(260u, DsFile(0, tooLong).size());
    CDeviceScope devices({Scanner(0, kId), Scanner(1, kId)});
    for (const std::string& prefix : {fits, tooLong, longer})
    {
        SCOPED_TRACE(prefix.size());
        const bool ok = prefix == fits;
        if (prefix != longer) // a staged path of 269 characters cannot be made
        {
            Put(Staged(0, prefix), "zero");
            Put(Staged(1, prefix), "one");
        }
        const Lines before = ListTree(TwainDir());
        RemoveLogs();

        EXPECT_EQ(0u, ::Run(Call("AddDS", kId, "DeviceData", prefix)));
        if (ok)
            EXPECT_EQ("zero one", ReadBytes(DsFile(0, prefix)) + " " + ReadBytes(DsFile(1, prefix)));
        else
            EXPECT_EQ(before, ListTree(TwainDir()));
        Lines log = SingleHeader(kId, "DeviceData", prefix);
        for (int i = 0; i < 2; ++i)
            log = log + Device(i, i) +
                  (ok ? AddPaths(i, prefix)
                      : Lines{"Paths for instance " + Inst(i) + " do not fit in 259 characters, skipped"});
        EXPECT_EQ(log + WalkEnd(2), LastBody(AddLog()));
        ResetTwainDir();
    }
}

TEST_F(SingleDeviceRemove, RemoveAfterAddLeavesNothing)
{
    CDeviceScope devices({Scanner(0, kId)});
    Put(Staged(0), "staged module");

    EXPECT_EQ(0u, ::Run(Call("AddDS", kId)));
    EXPECT_EQ(0u, ::Run(Call("RemoveDS", kId)));
    EXPECT_EQ(Lines{}, ListTree(TwainDir()));
    EXPECT_EQ(SingleHeader(kId) + Device(0, 0) + RemovePaths(0) + WalkEnd(1), LastBody(RemoveLog()));
}

TEST_F(SingleDeviceRemove, NothingOnDiskLogsBothFailedAttributeResets)
{
    CDeviceScope devices({Scanner(0, kId)});

    EXPECT_EQ(0u, ::Run(Call("RemoveDS", kId)));
    EXPECT_EQ(Lines{}, ListTree(TwainDir()));
    EXPECT_FALSE(Exists(AddLog()));
    // The file's directory is missing (3); the directory itself is missing (2).
    const Lines failed{"SetFileAttributes failed, GetLastError returned 3",
                       "SetFileAttributes failed, GetLastError returned 2"};
    EXPECT_EQ(SingleHeader(kId) + Device(0, 0) + RemovePaths(0) + failed + WalkEnd(1), LastBody(RemoveLog()));
}

TEST_F(SingleDeviceRemove, LoggingOffWritesNothingAnywhere)
{
    CDeviceScope devices({Scanner(0, kId), Scanner(1, kId)});
    Put(Staged(1), "staged module");
    const Lines temp = ListTree(TempDir());

    EXPECT_EQ(0u, ::Run(Call("RemoveDS", kId) + " 0"));
    EXPECT_EQ(0u, ::Run(Call("AddDS", kId) + " 0"));
    EXPECT_EQ((Lines{"vrtk_0001\\", "vrtk_0001\\vrtk_0001.ds"}), ListTree(TwainDir()));
    EXPECT_EQ(0u, ::Run(Call("RemoveDS", kId) + " 0"));
    EXPECT_EQ(Lines{}, ListTree(TwainDir()));
    EXPECT_EQ(temp, ListTree(TempDir()));
    EXPECT_FALSE(Exists(AddLog()));
    EXPECT_FALSE(Exists(RemoveLog()));
}

TEST_F(SingleDeviceRemove, ReadOnlyHiddenDataSourceIsRemoved)
{
    CDeviceScope devices({Scanner(0, kId)});
    Put(DsFile(0), "module");
    ASSERT_TRUE(SetFileAttributesA(DsFile(0).c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));

    EXPECT_EQ(0u, ::Run(Call("RemoveDS", kId)));
    EXPECT_EQ(Lines{}, ListTree(TwainDir()));
    EXPECT_EQ(SingleHeader(kId) + Device(0, 0) + RemovePaths(0) + WalkEnd(1), LastBody(RemoveLog()));
}

TEST_F(SingleDeviceRemove, DirectoryHoldingOtherFilesIsKept)
{
    CDeviceScope devices({Scanner(0, kId)});
    Put(Staged(0), "staged");
    WriteBytes(DsFile(0), "module");
    WriteBytes(DsDir(0) + "\\notes.txt", "notes");

    EXPECT_EQ(0u, ::Run(Call("RemoveDS", kId)));
    EXPECT_EQ((Lines{"vrtk_0000\\", "vrtk_0000\\notes.txt", "vrtk_0000\\vrtk_0000"}), ListTree(TwainDir()));
    EXPECT_EQ("staged", ReadBytes(Staged(0)));
    EXPECT_EQ(SingleHeader(kId) + Device(0, 0) + RemovePaths(0) + WalkEnd(1), LastBody(RemoveLog()));
}

} // namespace
