// The example installers of examples/, run silently on a sample machine:
// the data sources they leave, the exit statuses they see, the run logs.
#include "harness/TestFiles.h"
#include "harness/TestLog.h"
#include "harness/TestMachine.h"
#include "harness/TestProcess.h"
#include "harness/TestRegistry.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <msi.h>
#include <setupapi.h>

#include <algorithm>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace
{

using Lines = std::vector<std::string>;

const char kStatusLog[] = "sample-setup.log";
const char kMAddDS[] = "MAddDS vrtk_ DeviceData InstallCLSID 1";
const char kMRemoveDS[] = "MRemoveDS vrtk_ DeviceData InstallCLSID 1";
const char kSingleArgs[] =
    "\"USB\\VID_1234&PID_5678\" vrtk_ DeviceData InstallCLSID \"SOFTWARE\\Sample Vendor\\Sample Scanner\" 1";
const char kStaged[] = "data source staged by the driver";

struct Kind
{
    const char* name;
    bool nsis;
    const char* suffix; // of the package names: "64" for the x64 MSI around the 32-bit exe
};

// On a 64-bit Windows the 32-bit exe also comes in an x64 MSI, whose actions
// the 64-bit msiexec starts.
std::vector<Kind> Kinds(bool nsis = true)
{
    std::vector<Kind> kinds{{"msi", false, ""}};
    if (nsis)
        kinds.push_back({"nsis", true, ""});
    if (Wow64Run())
        kinds.push_back({"msi64", false, "64"});
    return kinds;
}

void PrintTo(const Kind& kind, std::ostream* os)
{
    *os << kind.name;
}

std::string SetupFile(const std::string& name)
{
    return EnvPath("TIRN_SETUP_DIR") + "\\" + name;
}

// The msiexec of the kind's architecture: a 32-bit process reaches the
// 64-bit system directory as sysnative.
std::string Msiexec(const Kind& kind)
{
    char buf[MAX_PATH];
    UINT len = GetWindowsDirectoryA(buf, MAX_PATH);
    const char* system = *kind.suffix ? "\\sysnative" : "\\system32";
    return std::string(buf, len < MAX_PATH ? len : 0) + system + "\\msiexec.exe";
}

std::string NsisInstallDir()
{
    char buf[MAX_PATH];
    DWORD len = ExpandEnvironmentStringsA("%ProgramFiles%\\Sample Scanner", buf, MAX_PATH);
    return len > 0 && len <= MAX_PATH ? std::string(buf) : std::string();
}

// The sections of a run log, each as its bytes.
Lines SectionBytes(const std::string& suffix)
{
    const std::string log = ReadBytes(LogPath(suffix)), end = "End Log\r\n\r\n";
    Lines sections;
    for (size_t start = 0, stop; (stop = log.find(end, start)) != std::string::npos; start = stop + end.size())
        sections.push_back(log.substr(start, stop + end.size() - start));
    return sections;
}

// The first line of each section of a run log.
Lines Calls(const std::string& log)
{
    Lines firsts;
    for (const LogSection& section : ParseLog(ReadBytes(LogPath(log))))
    {
        EXPECT_TRUE(section.wellFormed);
        firsts.push_back(section.body.empty() ? "" : section.body[0]);
    }
    return firsts;
}

bool Contains(const std::vector<LogSection>& sections, const std::string& line)
{
    for (const LogSection& section : sections)
    {
        if (std::find(section.body.begin(), section.body.end(), line) != section.body.end())
            return true;
    }
    return false;
}

// The package's devices, which its uninstall removes before MRemoveDS: 0000
// gets the generic module (MAddDS), 0001 its staged data source (AddDS).
// Another vendor's device, 0002, gets nothing.
TestDevice PackageDevice(const std::string& instance, RegValue value)
{
    TestDevice device = ImageDevice(instance, {{"DeviceData", {value}}});
    device.enumKey = "USB\\VID_1234&PID_5678\\" + instance;
    return device;
}

// The product codes of the installed products named "Sample Scanner".
std::set<std::string> SampleProducts()
{
    std::set<std::string> codes;
    char code[39];
    for (DWORD i = 0; MsiEnumProductsA(i, code) == ERROR_SUCCESS; ++i)
    {
        char name[64] = "";
        DWORD cch = sizeof(name);
        if (MsiGetProductInfoA(code, INSTALLPROPERTY_PRODUCTNAME, name, &cch) == ERROR_SUCCESS &&
            std::string(name) == "Sample Scanner")
            codes.insert(code);
    }
    return codes;
}

class Installer : public testing::TestWithParam<Kind>
{
protected:
    void SetUp() override
    {
        Clean();
        AddDevice(PackageDevice("0000", RegSz("CorvelCLSID", "{0}")));
        AddDevice(PackageDevice("0001", RegSz("InstallCLSID", "USB\\VID_1234&PID_5678\\0001")));
        AddDevice(ImageDevice("0002", {{"DeviceData", {RegSz("CorvelCLSID", "{2}"), RegSz("TwainDSmodule", "o.ds")}}}));
        ASSERT_TRUE(CreateDirectoryA((TwainDir() + "\\vrtk_0001").c_str(), nullptr));
        WriteBytes(TwainDir() + "\\vrtk_0001\\vrtk_0001", kStaged);
    }
    void TearDown() override
    {
        if (GetParam().nsis)
            RemoveTree(NsisInstallDir());
        else
        {
            Uninstall("sample");
            Uninstall("sample-upgrade");
        }
        Clean();
    }
    static void Clean()
    {
        // A run ended midway leaves its product installed in the prefix,
        // which later runs reuse; an older product holding the same
        // components would keep their files at every later uninstall.
        for (const std::string& code : SampleProducts())
            RunProgram(Msiexec(Kind{"msi", false, ""}), "msiexec /x " + code + " /qn");
        RemoveAllImageDevices();
        ResetTwainDir();
        RemoveLogs();
        RemoveTree(LogPath(kStatusLog));
    }

    DWORD Install(const std::string& package) const
    {
        if (GetParam().nsis)
            return RunProgram(SetupFile(package + ".exe"), package + ".exe /S");
        return RunProgram(Msiexec(GetParam()),
                          "msiexec /i \"" + SetupFile(package + GetParam().suffix + ".msi") + "\" /qn");
    }
    DWORD Uninstall(const std::string& package = "sample") const
    {
        // _?= keeps the uninstaller from copying itself away and returning at once.
        if (GetParam().nsis)
            return RunProgram(NsisInstallDir() + "\\uninstall.exe", "uninstall.exe /S _?=" + NsisInstallDir());
        return RunProgram(Msiexec(GetParam()),
                          "msiexec /x \"" + SetupFile(package + GetParam().suffix + ".msi") + "\" /qn");
    }
};
using MsiUpgrade = Installer;

TEST_P(Installer, InstallGivesTheDevicesTheirDataSourcesAndUninstallTakesThemAway)
{
    ASSERT_EQ(0u, Install("sample"));
    EXPECT_EQ((Lines{"vrtk_0000\\", "vrtk_0000\\vrtk_0000.ds", "vrtk_0001\\", "vrtk_0001\\vrtk_0001.ds", "zbxgnds2"}),
              ListTree(TwainDir()));
    EXPECT_EQ(ReadBytes(SetupFile("zbxgnds2")), ReadBytes(TwainDir() + "\\vrtk_0000\\vrtk_0000.ds"));
    EXPECT_EQ(kStaged, ReadBytes(TwainDir() + "\\vrtk_0001\\vrtk_0001.ds"));
    EXPECT_EQ((Lines{"In function MAddTwainDS", "Hardware Identifier:\tUSB\\VID_1234&PID_5678"}), Calls("_add_ds.log"));
    // The quoted argument with blanks arrived whole.
    EXPECT_TRUE(
        Contains(ParseLog(ReadBytes(LogPath("_add_ds.log"))), "Params Key:\tSOFTWARE\\Sample Vendor\\Sample Scanner"));

    // The uninstall removes the package's devices before MRemoveDS, and has
    // done all its calls when it returns.
    ASSERT_EQ(0u, Uninstall());
    EXPECT_EQ(Lines{}, ListTree(TwainDir()));
    EXPECT_EQ((Lines{"Hardware Identifier:\tUSB\\VID_1234&PID_5678", "In function MAddTwainDS"}),
              Calls("_remove_ds.log"));
    if (GetParam().nsis)
    {
        // Run in place, the uninstaller leaves itself alone, for its caller
        // to delete. Each call's line in the installer's log is followed by
        // what the program wrote to its output: the call's log section. NSIS
        // strings hold 1024 characters: MAddDS's section, longer, arrives
        // cut; the others whole.
        EXPECT_EQ(Lines{"uninstall.exe"}, ListTree(NsisInstallDir()));
        const Lines adds = SectionBytes("_add_ds.log"), removes = SectionBytes("_remove_ds.log");
        const std::string log = ReadBytes(LogPath(kStatusLog)), single = std::string(kSingleArgs) + "\t0\r\n";
        const size_t cut = log.find("AddDS " + single) - sizeof(kMAddDS) - 3; // after "<MAddDS>\t0\r\n"
        EXPECT_GT(cut, 900u);
        EXPECT_EQ(kMAddDS + std::string("\t0\r\n") + adds.at(0).substr(0, cut) + "AddDS " + single + adds.at(1) +
                      "RemoveDS " + single + removes.at(0) + kMRemoveDS + "\t0\r\n" + removes.at(1),
                  log);
    }
}

TEST_P(Installer, ARefusedCallFailsTheInstallationAndLeavesNothingOfIt)
{
    // Built with the prefix "a/b", which could leave twain_32.
    const DWORD status = Install("sample-refused");
    if (GetParam().nsis)
    {
        EXPECT_EQ(2u, status);
        EXPECT_EQ("MAddDS a/b DeviceData InstallCLSID 1\t1\r\n", ReadBytes(LogPath(kStatusLog)));
        EXPECT_FALSE(Exists(NsisInstallDir()));
    }
    else
    {
        EXPECT_NE(0u, status);
        EXPECT_NE(kRunFailed, status);
    }
    EXPECT_EQ((Lines{"vrtk_0001\\", "vrtk_0001\\vrtk_0001"}), ListTree(TwainDir()));
    EXPECT_FALSE(Exists(LogPath("_add_ds.log")));
}

// A later version takes the earlier one's place, and its uninstall leaves
// nothing. (Windows Installer skips the earlier version's uninstall actions
// then; Wine 8's msiexec runs them, so what the upgrade leaves in twain_32
// differs and is not asserted.)
TEST_P(MsiUpgrade, ALaterVersionTakesTheEarlierOnesPlace)
{
    ASSERT_EQ(0u, Install("sample"));
    const std::set<std::string> earlier = SampleProducts();
    ASSERT_EQ(1u, earlier.size());
    ASSERT_EQ(0u, Install("sample-upgrade"));
    const std::set<std::string> later = SampleProducts();
    ASSERT_EQ(1u, later.size());
    EXPECT_NE(earlier, later);
    EXPECT_EQ(0u, Uninstall("sample-upgrade"));
    EXPECT_EQ(std::set<std::string>{}, SampleProducts());
    EXPECT_EQ(Lines{}, ListTree(TwainDir()));
}

std::string KindName(const testing::TestParamInfo<Kind>& info)
{
    return info.param.name;
}
INSTANTIATE_TEST_SUITE_P(Kinds, Installer, testing::ValuesIn(Kinds()), KindName);
INSTANTIATE_TEST_SUITE_P(Kinds, MsiUpgrade, testing::ValuesIn(Kinds(false)), KindName);

using CallerOutput = CleanMachine;
using DchPackage = CleanMachine;

// What a shell's redirection hands the program: a disk file gets the run's
// log section byte for byte; a pipe whose reader is gone takes nothing, and
// the run does all it does without one.
TEST_F(CallerOutput, ARedirectedRunWritesItsLogSectionThere)
{
    const std::string outPath = TempDir() + "caller-output.txt";
    AddDevice(ImageDevice("0000", {{"DeviceData", {RegSz("CorvelCLSID", "{0}")}}}));
    for (bool brokenPipe : {false, true})
    {
        SCOPED_TRACE(brokenPipe ? "pipe closed by its reader" : "disk file");
        ResetTwainDir();
        RemoveLogs();
        WriteBytes(TwainDir() + "\\zbxgnds2", "module");
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
        RunOptions options;
        HANDLE reader = nullptr;
        if (brokenPipe)
            ASSERT_TRUE(CreatePipe(&reader, &options.stdOutput, &inherit, 0) && CloseHandle(reader));
        else
            options.stdOutput =
                CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, options.stdOutput);
        EXPECT_EQ(0u, RunRaw(std::string("TIRNFuncts.exe ") + kMAddDS, options));
        CloseHandle(options.stdOutput);

        EXPECT_EQ((Lines{"vrtk_0000\\", "vrtk_0000\\vrtk_0000.ds", "zbxgnds2"}), ListTree(TwainDir()));
        EXPECT_EQ(Lines{"In function MAddTwainDS"}, Calls("_add_ds.log")); // one whole section
        EXPECT_EQ(brokenPipe ? "" : ReadBytes(LogPath("_add_ds.log")), ReadBytes(outPath));
        RemoveTree(outPath);
    }
}

// The fields after the key of every line of the section with this key (every
// line, for none), as Wine's setupapi reads them.
std::vector<Lines> InfLines(HINF inf, const char* section, const char* key)
{
    std::vector<Lines> lines;
    INFCONTEXT context;
    for (bool found = SetupFindFirstLineA(inf, section, key, &context); found;
         found = key ? SetupFindNextMatchLineA(&context, key, &context) : SetupFindNextLine(&context, &context))
    {
        lines.emplace_back();
        for (DWORD i = 1; i <= SetupGetFieldCount(&context); ++i)
        {
            char field[512] = "";
            SetupGetStringFieldA(&context, i, field, sizeof(field), nullptr);
            lines.back().push_back(field);
        }
    }
    return lines;
}

// The DCH example: the scanner's extension INF adds a software component
// whose INF copies the exe and the generic module to the driver store and
// runs MAddDS from there. Wine installs no driver package: its setupapi reads
// every section and key that Windows would act on, and the command runs from
// the package's directory in the driver store, with twain_32 empty.
TEST_F(DchPackage, TheInfsNameEverythingTheyUseAndTheirCommandServesTheDevicesFromTheDriverStore)
{
    auto open = [](const char* name) {
        return SetupOpenInfFileA((EnvPath("TIRN_EXAMPLES_DIR") + "\\" + name).c_str(), nullptr, INF_STYLE_WIN4,
                                 nullptr);
    };
    const HINF device = open("TIRNFuncts-device.inf"), component = open("TIRNFuncts-component.inf");
    ASSERT_NE(INVALID_HANDLE_VALUE, device);
    ASSERT_NE(INVALID_HANDLE_VALUE, component);
    const char id[] = "SWC\\VID_1234&PID_5678&TWAINDS"; // ComponentIDs of the one, model of the other
    struct Row
    {
        HINF inf;
        const char* section;
        const char* key;
        std::vector<Lines> lines;
    } rows[] = {
        {device, "Version", "Class", {{"Extension"}}},
        {device, "Version", "ClassGuid", {{"{e2f84ce7-8efa-411c-aa69-97454ca4cb57}"}}},
        {device, "Manufacturer", nullptr, {{"Scanner", "NTx86", "NTamd64"}}},
        {device, "Scanner.NTx86", nullptr, {{"Scanner_Install", "USB\\VID_1234&PID_5678"}}},
        {device, "Scanner.NTamd64", nullptr, {{"Scanner_Install", "USB\\VID_1234&PID_5678"}}},
        {device, "Scanner_Install.NT", "AddReg", {{"Scanner_AddReg"}}},
        {device, "Scanner_AddReg", nullptr,
         {{"HKR", "DeviceData", "CorvelCLSID", "0x00000000", "{5C3F7D5A-0000-4000-8000-000000000001}"}}},
        {device, "Scanner_Install.NT.Components", "AddComponent", {{"SampleScannerTwainDs", "", "TwainDs_Component"}}},
        {device, "TwainDs_Component", "ComponentIDs", {{id}}},
        {component, "Version", "Class", {{"SoftwareComponent"}}},
        {component, "Version", "ClassGuid", {{"{5c4c3332-344d-483c-8739-259e934c9cc8}"}}},
        {component, "Manufacturer", nullptr, {{"TwainDs", "NTx86", "NTamd64"}}},
        {component, "TwainDs.NTx86", nullptr, {{"TwainDs_Install", id}}},
        {component, "TwainDs.NTamd64", nullptr, {{"TwainDs_Install", id}}},
        {component, "TwainDs_Install.NT", "CopyFiles", {{"TwainDs_Files"}}},
        {component, "TwainDs_Files", nullptr, {{"TIRNFuncts.exe"}, {"zbxgnds2"}}},
        {component, "SourceDisksFiles", nullptr, {{"1"}, {"1"}}},
        {component, "DestinationDirs", "DefaultDestDir", {{"13"}}},
        {component, "TwainDs_Install.NT.Services", "AddService", {{"", "0x00000002"}}},
        {component, "TwainDs_Install.NT.Software", "AddSoftware",
         {{"SampleVendorTwainDataSources", "0x00000001", "TwainDs_Software"}}},
        {component, "TwainDs_Software", "SoftwareType", {{"1"}}},
        {component, "TwainDs_Software", "SoftwareArguments", {{"MAddDS", "vrtk_", "DeviceData", "InstallCLSID", "1"}}},
        {component, "TwainDs_Software", "SoftwareVersion", {{"1.0.0.0"}}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.lines, InfLines(row.inf, row.section, row.key)) << row.section << " " << (row.key ? row.key : "");
    // Windows starts SoftwareBinary from the driver store with the SoftwareArguments above, as run below.
    std::vector<Lines> binary = InfLines(component, "TwainDs_Software", "SoftwareBinary");
    for (Lines& line : binary)
        for (std::string& path : line)
            path.erase(0, path.find_last_of('\\') + 1); // the driver store's directory, whatever it is
    EXPECT_EQ((std::vector<Lines>{{"TIRNFuncts.exe"}}), binary);
    SetupCloseInfFile(device);
    SetupCloseInfFile(component);

    const std::string store = TempDir() + "FileRepository\\tirnfuncts-component.inf_x86_0123456789abcdef";
    Put(store + "\\TIRNFuncts.exe", ReadBytes(ProductExePath()));
    Put(store + "\\zbxgnds2", ReadBytes(SetupFile("zbxgnds2")));
    AddDevice(ImageDevice("0000", {{"DeviceData", {RegSz("CorvelCLSID", "{0}")}}}));
    AddDevice(ImageDevice("0001", {{"DeviceData", {RegSz("CorvelCLSID", "{1}"), RegSz("TwainDSmodule", "zbxgnds2")}}}));
    AddDevice(ImageDevice("0002", {{"DeviceData", {RegSz("CorvelCLSID", "{2}"), RegSz("TwainDSmodule", "o.ds")}}}));
    EXPECT_EQ(0u, RunProgram(store + "\\TIRNFuncts.exe", "TIRNFuncts.exe MAddDS vrtk_ DeviceData InstallCLSID 1"));
    RemoveTree(TempDir() + "FileRepository");
    EXPECT_EQ((Lines{"vrtk_0000\\", "vrtk_0000\\vrtk_0000.ds", "vrtk_0001\\", "vrtk_0001\\vrtk_0001.ds", "zbxgnds2"}),
              ListTree(TwainDir()));
    for (const char* file : {"zbxgnds2", "vrtk_0000\\vrtk_0000.ds", "vrtk_0001\\vrtk_0001.ds"})
        EXPECT_EQ(ReadBytes(SetupFile("zbxgnds2")), ReadBytes(TwainDir() + "\\" + file)) << file;
    EXPECT_TRUE(Contains(ParseLog(ReadBytes(LogPath("_add_ds.log"))),
                         "szFileNameGenericDs copied from " + store + "\\zbxgnds2"));
}

} // namespace
