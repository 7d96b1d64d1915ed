#include "harness/TestFiles.h"
#include "harness/TestLog.h"
#include "harness/TestMachine.h"
#include "harness/TestProcess.h"
#include "harness/TestRegistry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace
{

using Lines = std::vector<std::string>;

std::string Joined(const Lines& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : "\n") + line;
    return text;
}

// The usage box's text, line by line.
const std::string kUsageText = Joined({
    "Syntax: TIRNFuncts.exe <Function to call> <GUID> <FilePrefix> <CheckKey> <CheckKeyValue> <DeviceSWRegKey> <0|1>",
    "",
    "\t\tFunctions available",
    "\t\t\t\tMAddDS",
    "\t\t\t\tAddDS",
    "\t\t\t\tRemoveDS",
    "",
    "\t\tLong file names should be enclosed in quotes",
    "",
    "\t\t<0|1> parameter indicates logging and is optional.  Default is logging on (1).",
});
using Tree = std::vector<std::string>;

const char kQuotedName[] = "\"C:\\some dir\\TIRNFuncts.exe\"";

bool AnyLog()
{
    return Exists(LogPath("_add_ds.log")) || Exists(LogPath("_remove_ds.log"));
}

TEST(UsageBox, ShowsForTheHelpSwitchesAndAnEmptyLine)
{
    const std::string q = kQuotedName;
    for (const std::string& line :
         Lines{"TIRNFuncts.exe /?", "TIRNFuncts.exe /h", "TIRNFuncts.exe -?", "TIRNFuncts.exe -h", "TIRNFuncts.exe",
               "TIRNFuncts.exe  \t \t", q + " /?", q + " -h", q, q + "/?"})
    {
        UsageBox box = RunExpectingUsage(line);
        ASSERT_TRUE(box.found) << line;
        EXPECT_EQ(box.text, kUsageText) << line;
        EXPECT_EQ(box.okButtons, 1) << line;
        EXPECT_EQ(box.otherButtons, 0) << line;
        EXPECT_FALSE(box.hasIcon) << line;
        EXPECT_EQ(box.exitCode, 0u) << line;
    }
}

TEST(UsageBox, NearMissesEndWithStatusOneAndNoBox)
{
    // The runtime's own line would drop the bytes of 0x80 and above here.
    for (const std::string& line :
         Lines{"TIRNFuncts.exe /H", "TIRNFuncts.exe -H", "TIRNFuncts.exe /help", "TIRNFuncts.exe /? ",
               "TIRNFuncts.exe \xa0/?", "TIRNFuncts.exe \xe9", std::string(kQuotedName) + " AddDS"})
    {
        UsageBox box = RunExpectingUsage(line, 3000);
        EXPECT_FALSE(box.found) << line;
        EXPECT_EQ(box.exitCode, 1u) << line;
    }
}

// One TIRN device, the generic module and a data source of a gone device:
// any call that ran would change twain_32 and write a log.
class CommandLine : public CleanMachine
{
protected:
    void SetUp() override
    {
        CleanMachine::SetUp();
        AddDevice(ImageDevice("0000", {{"DeviceData", {RegSz("CorvelCLSID", "{1}")}}}));
        WriteBytes(TwainDir() + "\\zbxgnds2", "generic");
        CreateDirectoryA((TwainDir() + "\\vrtk_0001").c_str(), nullptr);
        WriteBytes(TwainDir() + "\\vrtk_0001\\vrtk_0001.ds", "gone");
        m_before = ListTree(TwainDir());
    }
    Tree m_before;
};

TEST_F(CommandLine, RefusedCallsEndWithStatusOneAndTouchNothing)
{
    const std::string x260(260, 'x');
    // The last one is one double-byte character only in code page 932.
    for (const std::string& args :
         Lines{"AddDS", "AddDS G P K V", "Delete G P K V S", "/help", "AddDS " + x260 + " vrtk_ K V S",
               "AddDS \"" + std::string(130, 'a') + "  " + std::string(129, 'b') + "\" vrtk_ K V S",
               "MAddDS vrtk_ DeviceData " + x260, "MAddDS \\ DeviceData InstallCLSID", "MRemoveDS .. K V",
               "MRemoveDS \"\" K V", "MAddDS vrtk_ DeviceData", "RemoveDS G a/b K V S",
               "MAddDS \x95\x5C DeviceData InstallCLSID",
               // An empty identifier, as an unset installer property gives, would pick every device.
               "AddDS \"\" vrtk_ DeviceData CorvelCLSID sw", "RemoveDS \"\" vrtk_ DeviceData CorvelCLSID sw 1"})
    {
        EXPECT_EQ(::Run(args), 1u) << args;
        EXPECT_FALSE(AnyLog()) << args;
        EXPECT_EQ(ListTree(TwainDir()), m_before) << args;
    }
}

TEST_F(CommandLine, CallsThatRunEndWithStatusZeroWhateverTheyFind)
{
    EXPECT_EQ(::Run("AddDS NoSuchId vrtk_ K V S 0"), 0u);
    EXPECT_FALSE(AnyLog());
    EXPECT_EQ(::Run("RemoveDS NoSuchId vrtk_ K V S 1"), 0u);
    EXPECT_TRUE(Exists(LogPath("_remove_ds.log")));
    EXPECT_EQ(ListTree(TwainDir()), m_before);

    EXPECT_EQ(RunRaw(std::string(kQuotedName) + " \t mad"), 0u);
    EXPECT_TRUE(Exists(LogPath("_add_ds.log")));
    EXPECT_EQ(ListTree(TwainDir()),
              (Tree{"vrtk_0000\\", "vrtk_0000\\vrtk_0000.ds", "vrtk_0001\\", "vrtk_0001\\vrtk_0001.ds", "zbxgnds2"}));
    // Accepted although the usage text does not list it.
    EXPECT_EQ(::Run("MRemoveDS"), 0u);
    EXPECT_EQ(ListTree(TwainDir()), (Tree{"vrtk_0000\\", "vrtk_0000\\vrtk_0000.ds", "zbxgnds2"}));
}

// A system DLL that cannot be loaded fails the calls into it: the run logs
// the failure and ends with its status, serving nobody and removing nothing.
TEST_F(CommandLine, ADllThatCannotBeLoadedFailsItsCallsWithoutAnException)
{
    const char kOverrides[] = "Software\\Wine\\AppDefaults\\TIRNFuncts.exe\\DllOverrides";
    const struct
    {
        const char* dll;
        const char* args;
        const char* log; // null: no log, no usage box
    } rows[] = {
        {"setupapi", "MAddDS", "_add_ds.log"}, {"setupapi", "MRemoveDS", "_remove_ds.log"}, {"user32", "/?", nullptr}};
    for (const auto& row : rows)
    {
        SCOPED_TRACE(std::string(row.dll) + " " + row.args);
        HKEY hKey = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kOverrides, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &hKey, nullptr),
                  ERROR_SUCCESS);
        // An empty load order: Wine loads the DLL neither as its own nor as a native one.
        RegSetValueExA(hKey, row.dll, 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1);
        RegCloseKey(hKey);
        const UsageBox box = RunExpectingUsage(std::string("TIRNFuncts.exe ") + row.args, 5000);
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\TIRNFuncts.exe");
        EXPECT_FALSE(box.found);
        EXPECT_EQ(box.exitCode, 0u);
        EXPECT_EQ(ListTree(TwainDir()), m_before);
        if (row.log == nullptr)
            continue;
        const std::vector<LogSection> sections = ParseLog(ReadBytes(LogPath(row.log)));
        ASSERT_EQ(sections.size(), 1u);
        EXPECT_TRUE(sections[0].wellFormed);
        const Lines& body = sections[0].body;
        EXPECT_NE(std::find(body.begin(), body.end(), "SetupDiGetClassDevs failed, GetLastError returned 126"),
                  body.end());
    }
}

// user32, setupapi and advapi32 load on first use: a refused call starts as a
// bare program does, and a call that runs gets the DLLs it calls into.
TEST(DelayLoad, EachCallLoadsOnlyTheDllsItCallsInto)
{
    const struct
    {
        const char* args;
        DWORD code;
        std::set<std::string> delayed; // of user32.dll, setupapi.dll, advapi32.dll
    } rows[] = {
        {"Zz", 1, {}},
        {"MAddDS a/b K V", 1, {}},
        {"MAddDS vrtk_ DeviceData InstallCLSID 0", 0, {"setupapi.dll", "advapi32.dll"}},
    };
    for (const auto& row : rows)
    {
        std::set<std::string> dlls;
        EXPECT_EQ(row.code, RunWatchingDlls(std::string("TIRNFuncts.exe ") + row.args, &dlls)) << row.args;
        std::set<std::string> delayed;
        for (const char* dll : {"user32.dll", "setupapi.dll", "advapi32.dll"})
        {
            if (dlls.count(dll))
                delayed.insert(dll);
        }
        EXPECT_EQ(row.delayed, delayed) << row.args;
    }
}

} // namespace

// Run alone, first, where the 32-bit exe is to run on a 64-bit Windows: the
// line it prints at the end is what CTest takes for a pass.
TEST(Wow64Proof, TheExeUnderTestRunsAsAWow64Process)
{
    ASSERT_TRUE(Wow64Run());
    const MachineRun run = RunAskingMachine("TIRNFuncts.exe Zz");
    ASSERT_EQ(IMAGE_FILE_MACHINE_I386, run.processMachine);
    ASSERT_EQ(IMAGE_FILE_MACHINE_AMD64, run.nativeMachine);
    // An unknown function: the program ran and refused the call.
    ASSERT_EQ(1u, run.exitCode);
    printf("TIRNFuncts.exe ran as a WoW64 process: machine 0x%04x on 0x%04x, exit status %lu\n", run.processMachine,
           run.nativeMachine, static_cast<unsigned long>(run.exitCode));
}
