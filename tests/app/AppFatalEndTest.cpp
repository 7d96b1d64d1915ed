#include "harness/TestLog.h"
#include "harness/TestMachine.h"
#include "harness/TestProcess.h"
#include "harness/TestFiles.h"
#include "harness/TestLines.h"
#include "harness/TestRegistry.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace
{

struct FatalCase
{
    const char* fault; // TIRN_FAULT of the exe's test build
    DWORD status;
};

class FatalEnd : public CleanMachine, public ::testing::WithParamInterface<FatalCase>
{
};

TEST_P(FatalEnd, EndsTheRunWithItsStatusAndNoWindow)
{
    RunOptions options;
    options.env = {std::string("TIRN_FAULT=") + GetParam().fault};
    const WatchedRun run = RunWatchingWindows(EnvPath("TIRN_FAULT_EXE"), "TIRNFuncts.exe MAddDS", options);
    EXPECT_EQ(run.windows, std::vector<std::string>{});
    EXPECT_EQ(run.exitCode, GetParam().status);
    // Ended inside the section, whose turn it gave up with the process.
    const std::vector<LogSection> sections = ParseLog(ReadBytes(LogPath("_add_ds.log")));
    ASSERT_EQ(sections.size(), 1u);
    EXPECT_EQ(sections[0].wellFormed, GetParam().status == 0);
    EXPECT_FALSE(Exists(LogPath("_add_ds.lock")));
}

INSTANTIATE_TEST_SUITE_P(Faults, FatalEnd,
                         ::testing::Values(FatalCase{"", 0}, FatalCase{"alloc", 3}, FatalCase{"overrun", 3},
                                           // Wine shows neither the critical-error boxes nor abort's box.
                                           FatalCase{"modes", SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX |
                                                                  SEM_NOGPFAULTERRORBOX | _OUT_TO_STDERR << 16}),
                         [](const auto& info) { return std::string(*info.param.fault ? info.param.fault : "none"); });

using EndedMidCopy = CleanMachine;

TEST_F(EndedMidCopy, LeavesNoPartOfADataSourceAndTheNextRunCompletesTheJob)
{
    const std::string generic(40000, 'g'), older = "older data source";
    WriteBytes(Generic(), generic);
    const std::vector<RegValue> values{RegSz("CorvelCLSID", "{5A1C}"), RegSz("InstallCLSID", "vid_x")};
    CDeviceScope devices(
        {ImageDevice("0000", {{"DeviceData", values}}), ImageDevice("0001", {{"DeviceData", values}})});
    Put(DsFile(0), older);
    RunOptions options;
    options.env = {"TIRN_FAULT=mid-copy"};
    const std::string unlogged = "TIRNFuncts.exe MAddDS vrtk_ DeviceData InstallCLSID 0";
    EXPECT_EQ(9u, RunProgram(EnvPath("TIRN_FAULT_EXE"), unlogged, options));
    EXPECT_EQ(older, ReadBytes(DsFile(0)));
    // The copy of the run's own name, <prefix><n>.<process id>-<count>.tmp,
    // sorts before the data source.
    const Lines tree = ListTree(TwainDir());
    ASSERT_EQ(4u, tree.size());
    EXPECT_EQ((Lines{"vrtk_0000\\", "vrtk_0000\\vrtk_0000.ds", "zbxgnds2"}), (Lines{tree[0], tree[2], tree[3]}));
    EXPECT_EQ(tree[1].substr(0, 20), "vrtk_0000\\vrtk_0000.");
    EXPECT_EQ(tree[1].find_first_not_of("0123456789-", 20), tree[1].size() - 4) << tree[1];

    EXPECT_EQ(0u, ::Run("MAddDS"));
    EXPECT_EQ(generic + generic, ReadBytes(DsFile(0)) + ReadBytes(DsFile(1)));
    EXPECT_EQ((Lines{"vrtk_0000\\", "vrtk_0000\\vrtk_0000.ds", "vrtk_0001\\", "vrtk_0001\\vrtk_0001.ds", "zbxgnds2"}),
              ListTree(TwainDir()));
    // What a second such run leaves keeps no directory from going.
    EXPECT_EQ(9u, RunProgram(EnvPath("TIRN_FAULT_EXE"), unlogged, options));
    EXPECT_EQ(0u, ::Run("RemoveDS vid_x vrtk_ DeviceData InstallCLSID sw"));
    EXPECT_EQ(Lines{"zbxgnds2"}, ListTree(TwainDir()));
}

TEST(StackGuard, IsDrawnAnewForEachRun)
{
    // Runs one after another, as an installer makes them: a weak draw
    // repeats within a few.
    const char kUnlogged[] = "TIRNFuncts.exe MAddDS vrtk_ DeviceData InstallCLSID 0";
    RunOptions options;
    options.env = {"TIRN_FAULT=guard"};
    std::set<DWORD> guards;
    for (int nRun = 0; nRun < 8; ++nRun)
        guards.insert(RunProgram(EnvPath("TIRN_FAULT_EXE"), kUnlogged, options));
    EXPECT_EQ(guards.count(0), 0u);
    EXPECT_EQ(guards.size(), 8u);
}

} // namespace
