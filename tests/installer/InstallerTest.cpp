// The example installers of examples/, run silently on a sample machine:
// the data sources they leave, the exit statuses they see, the run logs.
#include "harness/TestFiles.h"
#include "harness/TestLog.h"
#include "harness/TestProcess.h"
#include "harness/TestRegistry.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <setupapi.h>

#include <algorithm>
#include <ostream>
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
    Lines refusedTree;  // twain_32 after a refused call: the module stays, or is rolled back
};

// On a 64-bit Windows the 32-bit exe also comes in an x64 MSI, whose actions
// the 64-bit msiexec starts.
std::vector<Kind> Kinds()
{
    std::vector<Kind> kinds{{"nsis", true, "", {"vrtk_0001\\", "vrtk_0001\\vrtk_0001", "zbxgnds2"}},
                            {"msi", false, "", {"vrtk_0001\\", "vrtk_0001\\vrtk_0001"}}};
    if (Wow64Run())
        kinds.push_back({"msi64", false, "64", {"vrtk_0001\\", "vrtk_0001\\vrtk_0001"}});
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

Lines StatusLog()
{
    return SplitCrLf(ReadBytes(LogPath(kStatusLog)));
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

// Device 0000 gets the generic module (MAddDS), 0001 its staged data source
// (AddDS), 0002 nothing: another vendor's module.
class Installer : public testing::TestWithParam<Kind>
{
protected:
    void SetUp() override
    {
        Clean();
        AddDevice(m_gone);
        AddDevice(ImageDevice("0001", {{"DeviceData", {RegSz("InstallCLSID", "USB\\VID_1234&PID_5678\\0001")}}}));
        AddDevice(ImageDevice("0002", {{"DeviceData", {RegSz("CorvelCLSID", "{2}"), RegSz("TwainDSmodule", "o.ds")}}}));
        ASSERT_TRUE(CreateDirectoryA((TwainDir() + "\\vrtk_0001").c_str(), nullptr));
        WriteBytes(TwainDir() + "\\vrtk_0001\\vrtk_0001", kStaged);
    }
    void TearDown() override
    {
        if (GetParam().nsis)
            RemoveTree(NsisInstallDir());
        else
            Uninstall();
        Clean();
    }
    static void Clean()
    {
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
    DWORD Uninstall() const
    {
        // _?= keeps the uninstaller from copying itself away and returning at once.
        if (GetParam().nsis)
            return RunProgram(NsisInstallDir() + "\\uninstall.exe", "uninstall.exe /S _?=" + NsisInstallDir());
        return RunProgram(Msiexec(GetParam()),
                          "msiexec /x \"" + SetupFile(std::string("sample") + GetParam().suffix + ".msi") + "\" /qn");
    }

    const TestDevice m_gone = ImageDevice("0000", {{"DeviceData", {RegSz("CorvelCLSID", "{0}")}}});
};

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
    if (GetParam().nsis)
    {
        EXPECT_EQ((Lines{std::string(kMAddDS) + "\t0", "AddDS " + std::string(kSingleArgs) + "\t0"}), StatusLog());
    }

    // The driver's uninstall took device 0000 away.
    RemoveDevice(m_gone);
    ASSERT_EQ(0u, Uninstall());
    EXPECT_EQ(Lines{}, ListTree(TwainDir()));
    EXPECT_EQ((Lines{"Hardware Identifier:\tUSB\\VID_1234&PID_5678", "In function MAddTwainDS"}),
              Calls("_remove_ds.log"));
    if (GetParam().nsis)
    {
        EXPECT_EQ((Lines{std::string(kMAddDS) + "\t0", "AddDS " + std::string(kSingleArgs) + "\t0",
                         "RemoveDS " + std::string(kSingleArgs) + "\t0", std::string(kMRemoveDS) + "\t0"}),
                  StatusLog());
    }
}

TEST_P(Installer, ARefusedCallFailsTheInstallationBeforeAnyDataSourceIsMade)
{
    // Built with the prefix "a/b", which could leave twain_32.
    const DWORD status = Install("sample-refused");
    if (GetParam().nsis)
    {
        EXPECT_EQ(2u, status);
        EXPECT_EQ(Lines{"MAddDS a/b DeviceData InstallCLSID 1\t1"}, StatusLog());
    }
    else
    {
        EXPECT_NE(0u, status);
        EXPECT_NE(kRunFailed, status);
    }
    EXPECT_EQ(GetParam().refusedTree, ListTree(TwainDir()));
    EXPECT_FALSE(Exists(LogPath("_add_ds.log")));
}

INSTANTIATE_TEST_SUITE_P(Kinds, Installer, testing::ValuesIn(Kinds()),
                         [](const testing::TestParamInfo<Kind>& info) { return std::string(info.param.name); });

} // namespace

namespace
{
// An INF as Windows' setup functions read it: Wine's setupapi.
class Inf
{
public:
    explicit Inf(const std::string& name)
        : m_inf(SetupOpenInfFileA((EnvPath("TIRN_EXAMPLES_DIR") + "\\" + name).c_str(), nullptr, INF_STYLE_WIN4,
                                  nullptr))
    {
    }
    ~Inf()
    {
        if (m_inf != INVALID_HANDLE_VALUE)
            SetupCloseInfFile(m_inf);
    }
    Inf(const Inf&) = delete;
    Inf& operator=(const Inf&) = delete;

    bool IsOpen() const { return m_inf != INVALID_HANDLE_VALUE; }
    // The fields after the key of every line of the section with this key
    // (every line, for none); nothing when the section or key is missing.
    std::vector<Lines> All(const std::string& section, const char* key = nullptr) const
    {
        std::vector<Lines> lines;
        INFCONTEXT context;
        for (bool found = SetupFindFirstLineA(m_inf, section.c_str(), key, &context); found;
             found = key ? SetupFindNextMatchLineA(&context, key, &context) : SetupFindNextLine(&context, &context))
        {
            Lines fields;
            for (DWORD i = 1; i <= SetupGetFieldCount(&context); ++i)
            {
                char field[512] = "";
                SetupGetStringFieldA(&context, i, field, sizeof(field), nullptr);
                fields.push_back(field);
            }
            lines.push_back(fields);
        }
        return lines;
    }
    Lines First(const std::string& section, const char* key) const
    {
        std::vector<Lines> lines = All(section, key);
        return lines.empty() ? Lines{} : lines[0];
    }
    // The install section and hardware ID of every model of every decoration.
    std::vector<Lines> Models() const
    {
        std::vector<Lines> models;
        for (const Lines& manufacturer : All("Manufacturer"))
        {
            EXPECT_GE(manufacturer.size(), 2u);
            for (size_t i = 1; i < manufacturer.size(); ++i)
            {
                std::vector<Lines> decorated = All(manufacturer[0] + "." + manufacturer[i]);
                EXPECT_FALSE(decorated.empty()) << manufacturer[0] << "." << manufacturer[i];
                models.insert(models.end(), decorated.begin(), decorated.end());
            }
        }
        return models;
    }

private:
    HINF m_inf;
};

std::string FileName(const std::string& path)
{
    return path.substr(path.find_last_of('\\') + 1);
}
} // namespace

// The DCH example: the scanner's extension INF adds a software component whose
// INF copies the exe and the generic module to the driver store and runs MAddDS
// from there. Wine installs no driver package, so its setupapi reads what
// Windows would act on, and the command is run as Windows is documented to run
// it: from the package's directory in the driver store, with twain_32 empty.
TEST(DchPackage, TheInfsNameEverythingTheyUseAndTheirCommandServesTheDevicesFromTheDriverStore)
{
    Inf device("TIRNFuncts-device.inf");
    Inf component("TIRNFuncts-component.inf");
    ASSERT_TRUE(device.IsOpen());
    ASSERT_TRUE(component.IsOpen());
    EXPECT_EQ(Lines{"Extension"}, device.First("Version", "Class"));
    EXPECT_EQ(Lines{"{e2f84ce7-8efa-411c-aa69-97454ca4cb57}"}, device.First("Version", "ClassGuid"));
    EXPECT_EQ(1u, device.First("Version", "ExtensionId").size());
    EXPECT_EQ(Lines{"SoftwareComponent"}, component.First("Version", "Class"));
    EXPECT_EQ(Lines{"{5c4c3332-344d-483c-8739-259e934c9cc8}"}, component.First("Version", "ClassGuid"));

    // Every model of the device INF writes CorvelCLSID to the driver key and
    // adds a component that the component INF installs, on every platform.
    const std::vector<Lines> componentModels = component.Models();
    for (const Lines& model : device.Models())
    {
        ASSERT_EQ(2u, model.size());
        EXPECT_EQ("USB\\VID_1234&PID_5678", model[1]);
        const Lines addReg = device.First(model[0] + ".NT", "AddReg");
        ASSERT_EQ(1u, addReg.size());
        EXPECT_EQ((std::vector<Lines>{{"HKR", "DeviceData", "CorvelCLSID", "0x00000000",
                                       "{5C3F7D5A-0000-4000-8000-000000000001}"}}),
                  device.All(addReg[0]));
        const Lines addComponent = device.First(model[0] + ".NT.Components", "AddComponent");
        ASSERT_EQ(3u, addComponent.size());
        const Lines ids = device.First(addComponent[2], "ComponentIDs");
        ASSERT_EQ(1u, ids.size());
        EXPECT_EQ(2u, componentModels.size());
        for (const Lines& componentModel : componentModels)
            EXPECT_EQ((Lines{"TwainDs_Install", ids[0]}), componentModel);
    }

    // The component: its files in the driver store, and the software run from there.
    EXPECT_EQ(Lines{"13"}, component.First("DestinationDirs", "DefaultDestDir"));
    const Lines copyFiles = component.First("TwainDs_Install.NT", "CopyFiles");
    ASSERT_EQ(1u, copyFiles.size());
    EXPECT_EQ((std::vector<Lines>{{"TIRNFuncts.exe"}, {"zbxgnds2"}}), component.All(copyFiles[0]));
    EXPECT_EQ((std::vector<Lines>{{"1"}, {"1"}}), component.All("SourceDisksFiles"));
    EXPECT_EQ(1u, component.All("SourceDisksNames").size());
    EXPECT_EQ((Lines{"", "0x00000002"}), component.First("TwainDs_Install.NT.Services", "AddService"));
    const Lines addSoftware = component.First("TwainDs_Install.NT.Software", "AddSoftware");
    ASSERT_EQ(3u, addSoftware.size());
    EXPECT_EQ("0x00000001", addSoftware[1]);
    const std::string software = addSoftware[2];
    EXPECT_EQ(Lines{"1"}, component.First(software, "SoftwareType"));
    EXPECT_EQ(Lines{"1.0.0.0"}, component.First(software, "SoftwareVersion"));
    const Lines binary = component.First(software, "SoftwareBinary");
    ASSERT_EQ(1u, binary.size());
    EXPECT_EQ("TIRNFuncts.exe", FileName(binary[0]));
    const Lines arguments = component.First(software, "SoftwareArguments");
    ASSERT_FALSE(arguments.empty());

    // The package's directory in the driver store; twain_32 empty.
    RemoveAllImageDevices();
    ResetTwainDir();
    RemoveLogs();
    const std::string store = TempDir() + "FileRepository\\tirnfuncts-component.inf_x86_0123456789abcdef";
    RemoveTree(store);
    Put(store + "\\TIRNFuncts.exe", ReadBytes(ProductExePath()));
    Put(store + "\\zbxgnds2", ReadBytes(SetupFile("zbxgnds2")));
    AddDevice(ImageDevice("0000", {{"DeviceData", {RegSz("CorvelCLSID", "{0}")}}}));
    AddDevice(ImageDevice("0001", {{"DeviceData", {RegSz("CorvelCLSID", "{1}"), RegSz("TwainDSmodule", "zbxgnds2")}}}));
    AddDevice(ImageDevice("0002", {{"DeviceData", {RegSz("CorvelCLSID", "{2}"), RegSz("TwainDSmodule", "o.ds")}}}));
    std::string commandLine = FileName(binary[0]);
    for (const std::string& argument : arguments)
        commandLine += " " + argument;
    EXPECT_EQ(0u, RunProgram(store + "\\" + FileName(binary[0]), commandLine));
    EXPECT_EQ((Lines{"vrtk_0000\\", "vrtk_0000\\vrtk_0000.ds", "vrtk_0001\\", "vrtk_0001\\vrtk_0001.ds", "zbxgnds2"}),
              ListTree(TwainDir()));
    for (const char* file : {"zbxgnds2", "vrtk_0000\\vrtk_0000.ds", "vrtk_0001\\vrtk_0001.ds"})
        EXPECT_EQ(ReadBytes(SetupFile("zbxgnds2")), ReadBytes(TwainDir() + "\\" + file)) << file;
    EXPECT_TRUE(Contains(ParseLog(ReadBytes(LogPath("_add_ds.log"))),
                         "szFileNameGenericDs copied from " + store + "\\zbxgnds2"));
    RemoveTree(TempDir() + "FileRepository");
    RemoveAllImageDevices();
    ResetTwainDir();
    RemoveLogs();
}
