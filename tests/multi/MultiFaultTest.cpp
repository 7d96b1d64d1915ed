#include "MultiCommon.h"

#include "seams/Seams.h"
#include "twainds/CModTwainDS.h"

class MultiFaults : public MultiFixture
{
protected:
    void SetUp() override
    {
        MultiFixture::SetUp();
        // Seams.cpp is built with the seam macros, so an empty seam would
        // call itself: every seam forwards to the platform unless replaced.
        Seams().getClassDevs = SetupDiGetClassDevsA;
        Seams().enumDeviceInfo = SetupDiEnumDeviceInfo;
        Seams().getWindowsDirectory = GetWindowsDirectoryA;
        Seams().getTempPath = GetTempPathA;
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
    const Lines untouched{"vrtk_0001\\", "vrtk_0001\\vrtk_0001.ds", "zbxgnds2"};
};

TEST_F(MultiFaults, WithoutADeviceSetNothingIsAddedAndNoDataSourceRemoved)
{
    Seams().getClassDevs = [](const GUID*, PCSTR, HWND, DWORD) {
        SetLastError(ERROR_INVALID_DATA);
        return static_cast<HDEVINFO>(INVALID_HANDLE_VALUE);
    };
    RunBoth();
    EXPECT_EQ(untouched, ListTree(TwainDir()));
    EXPECT_EQ(Header(1), LastBody(LogPath("_add_ds.log")));
    EXPECT_EQ(Header(0) + Lines{"No device information set, no data source is removed"},
              LastBody(LogPath("_remove_ds.log")));
}

TEST_F(MultiFaults, WithoutAWindowsDirectoryNeitherWalkTouchesAFile)
{
    Seams().getWindowsDirectory = [](LPSTR szBuffer, UINT) -> UINT {
        szBuffer[0] = '\0';
        return 0;
    };
    RunBoth();
    EXPECT_EQ(untouched, ListTree(TwainDir()));
    // The paths would begin at the root of the current drive.
    EXPECT_FALSE(Exists("\\vrtk_0000"));
    const std::string noDir = "No twain_32 directory: the Windows directory could not be had, no file is touched";
    EXPECT_EQ((Header(1) + Lines{noDir} + Device(0, "0000") + Lines{kCorvelLine, kAssumeTIRN} +
               Lines{"No twain_32 directory, nothing done for instance 0000"} + WalkEnd(1)),
              LastBody(LogPath("_add_ds.log")));
    EXPECT_EQ(Header(0) + Lines{noDir}, LastBody(LogPath("_remove_ds.log")));
}
