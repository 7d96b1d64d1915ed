#include "harness/TestFiles.h"
#include "harness/TestMachine.h"
#include "harness/TestProcess.h"
#include "harness/TestRegistry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

using Tree = std::vector<std::string>;

class CodePage932 : public CleanMachine
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(GetACP(), 932u);
        CleanMachine::SetUp();
        AddDevice(ImageDevice("0000", {{"DeviceData", {RegSz("CorvelCLSID", "{1}")}}}));
        WriteBytes(TwainDir() + "\\zbxgnds2", "generic");
    }
    RunOptions m_cp932{{"LC_ALL=ja_JP.UTF-8"}};
};

// "\x95\x5C" is one character whose second byte is the code of a backslash.
TEST_F(CodePage932, TrailByteOfADoubleByteCharacterIsNoBackslash)
{
    EXPECT_EQ(::Run("MAddDS \\ DeviceData InstallCLSID", m_cp932), 1u);
    EXPECT_EQ(::Run("MAddDS \x95\x5C\\ DeviceData InstallCLSID", m_cp932), 1u);
    EXPECT_EQ(ListTree(TwainDir()), Tree{"zbxgnds2"});
    EXPECT_FALSE(Exists(LogPath("_add_ds.log")));

    EXPECT_EQ(::Run("MAddDS \x95\x5C DeviceData InstallCLSID 0", m_cp932), 0u);
    EXPECT_EQ(ListTree(TwainDir()), (Tree{"zbxgnds2",
                                          "\x95\x5C"
                                          "0000\\",
                                          "\x95\x5C"
                                          "0000\\\x95\x5C"
                                          "0000.ds"}));
    RemoveAllImageDevices();
    EXPECT_EQ(::Run("MRemoveDS \x95\x5C DeviceData InstallCLSID 0", m_cp932), 0u);
    EXPECT_EQ(ListTree(TwainDir()), Tree{"zbxgnds2"});
    EXPECT_FALSE(Exists(LogPath("_add_ds.log")) || Exists(LogPath("_remove_ds.log")));
}

} // namespace
