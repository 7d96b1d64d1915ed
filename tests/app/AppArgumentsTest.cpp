#include "app/CTIRNFMain.h"
#include "twainds/CDsNames.h"

#include "harness/TestFiles.h"
#include "harness/TestMachine.h"
#include "harness/TestRegistry.h"

#include <gtest/gtest.h>
#include <mbctype.h>

#include <cctype>
#include <string>
#include <vector>

namespace
{

using Fields = std::vector<std::string>;
const Fields kRefused = {"refused"};

// What Run read: GUID, prefix, check key, check value, software key, logging.
Fields Read(const std::string& text)
{
    CTIRNFMain m;
    std::vector<char> line(text.begin(), text.end());
    line.push_back('\0');
    if (!m.Run(line.data()))
        return kRefused;
    return {m.m_szArgGuid,          m.m_szArgFilePrefix,     m.m_szArgCheckKey,
            m.m_szArgCheckKeyValue, m.m_szArgDeviceSWRegKey, m.m_bLogging ? "log on" : "log off"};
}

// Run goes on to the real job; with no device and no data source it only
// writes a log when logging is on.
class ArgumentReader : public CleanMachine
{
protected:
    void TearDown() override
    {
        _setmbcp(_MB_CP_ANSI);
        CleanMachine::TearDown();
    }
    void ExpectAll(const std::vector<std::pair<std::string, Fields>>& cases)
    {
        for (const auto& c : cases)
            EXPECT_EQ(Read(c.first), c.second) << "line: " << c.first;
    }
};

Fields Five(const char* guid, const char* prefix, const char* key, const char* value, const char* swKey, bool logging)
{
    return {guid, prefix, key, value, swKey, logging ? "log on" : "log off"};
}

Fields Three(const char* prefix, const char* key, const char* value, bool logging)
{
    return Five("", prefix, key, value, "", logging);
}

TEST_F(ArgumentReader, SingleDeviceFunctionsReadFiveArgumentsAndTheLoggingSwitch)
{
    ExpectAll({
        {"AddDS G P K V S", Five("G", "P", "K", "V", "S", true)},
        {"RemoveDS G P K V S 0", Five("G", "P", "K", "V", "S", false)},
        {"AddDS G P K V S 00", Five("G", "P", "K", "V", "S", false)},
        {"AddDS G P K V S 1", Five("G", "P", "K", "V", "S", true)},
        {"AddDS G P K V S false", Five("G", "P", "K", "V", "S", true)},
        {"AddDS G P K V S off", Five("G", "P", "K", "V", "S", true)},
        {"  AddDS   G  P K V S 0 extra tokens", Five("G", "P", "K", "V", "S", false)},
        {"AddDS G \"\" \"\" \"\" \"\" 0", Five("G", "", "", "", "", false)},
        {"AddDS \"\" P K V S 0", kRefused},
        {"AddDS G P K V", kRefused},
        {"RemoveDS", kRefused},
    });
}

TEST_F(ArgumentReader, QuotedArgumentsJoinTheirPiecesWithOneBlank)
{
    ExpectAll({
        {"AddDS \"the  hardware   id\" P K V S 0", Five("the hardware id", "P", "K", "V", "S", false)},
        {"AddDS \"G\" P K V \"S\" 0", Five("G", "P", "K", "V", "S", false)},
        {"AddDS \" P K V S 0", kRefused},
        {"AddDS G\" P K\"x V S 0", Five("G\"", "P", "K\"x", "V", "S", false)},
        {"AddDS \"G \"x P\" K V S 0", Five("G \"x P", "K", "V", "S", "0", true)},
        {"AddDS G P K V \"S runs  to the end 0", Five("G", "P", "K", "V", "S runs to the end 0", true)},
        {"AddDS \"G P K V S 0", kRefused},
        {"MAddDS \"my prefix\" \"Device Data\" \"x y\" 0", Three("my prefix", "Device Data", "x y", false)},
    });
}

TEST_F(ArgumentReader, MultiDeviceFunctionsTakeAllThreeArgumentsOrTheDefaults)
{
    ExpectAll({
        {"MAddDS", Three("vrtk_", "DeviceData", "InstallCLSID", true)},
        {"MRemoveDS", Three("vrtk_", "DeviceData", "InstallCLSID", true)},
        {"MAddDS p k v", Three("p", "k", "v", true)},
        {"MRemoveDS p k v 0 extra", Three("p", "k", "v", false)},
        {"MAddDS p", kRefused},
        {"MAddDS p k", kRefused},
        {"MAddDS \"\" k v 0", kRefused},
        {"MRemoveDS p \"\" v 0", kRefused},
        {"MAddDS p k \"\" 0", kRefused},
    });
}

TEST_F(ArgumentReader, FunctionIsChosenByItsFirstTwoCharactersInAnyCase)
{
    const std::vector<std::pair<const char*, int>> names = {{"adds", 4},
                                                            {"ADD", 4},
                                                            {"Ad", 4},
                                                            {"rem", 5},
                                                            {"mad", 14},
                                                            {"MRx", 15},
                                                            {"Delete", 0},
                                                            {"A", 0},
                                                            {"", 0},
                                                            {"mA\xe9", 14},
                                                            {"\xe9"
                                                             "A",
                                                             0}};
    CTIRNFMain m;
    for (const auto& name : names)
        EXPECT_EQ(m.LookupFunction(name.first), name.second) << name.first;

    ExpectAll({
        {"AddDS\tjunk G P K V S 0", Five("G", "P", "K", "V", "S", false)},
        {"mr\t", Three("vrtk_", "DeviceData", "InstallCLSID", true)},
        {"\"AddDS\" G P K V S 0", Five("G", "P", "K", "V", "S", false)},
        {"\"\" G P K V S 0", kRefused},
        {"Delete G P K V S 0", kRefused},
        {"A G P K V S 0", kRefused},
        {"", kRefused},
    });
}

TEST_F(ArgumentReader, ArgumentsOfMoreThan259BytesAreRefused)
{
    const std::string x259(259, 'x'), x260(260, 'x'), a129(129, 'a'), a130(130, 'a'), b129(129, 'b');
    std::string endless = "MAddDS p k \"";
    for (int i = 0; i < 100; ++i)
        endless += "abcd ";
    ExpectAll({
        {"AddDS " + x259 + " P K V S 0", Five(x259.c_str(), "P", "K", "V", "S", false)},
        {"AddDS \"" + a129 + "  " + b129 + "\" P K V S 0",
         Five((a129 + " " + b129).c_str(), "P", "K", "V", "S", false)},
        {"MAddDS " + x259 + " k v 0", Three(x259.c_str(), "k", "v", false)},
        {"AddDS " + x260 + " P K V S 0", kRefused},
        {"AddDS \"" + a130 + "  " + b129 + "\" P K V S 0", kRefused},
        {"AddDS G P K V " + x260, kRefused},
        {"AddDS G P K V S " + std::string(260, '0'), kRefused},
        {"MAddDS " + x260, kRefused},
        {"MAddDS p " + x260 + " v 0", kRefused},
        {"MAddDS p k v " + x260, kRefused},
        {endless, kRefused},
    });
}

TEST_F(ArgumentReader, PrefixMustStayOneNamePart)
{
    for (const char* bad : {"\\", "/", ":", "*", "?", "\"", "<", ">", "|", ".", "..", "a\\b"})
        EXPECT_FALSE(CDsNames::IsNamePart(bad)) << bad;
    for (const char* good : {"", "vrtk_", "...", ".x", "\xe9t\xe9_"})
        EXPECT_TRUE(CDsNames::IsNamePart(good)) << good;
    ExpectAll({
        {"MAddDS \\ k v 0", kRefused},
        {"MRemoveDS .. k v 0", kRefused},
        {"AddDS G c: K V S 0", kRefused},
        {"RemoveDS G * K V S 0", kRefused},
        {"AddDS G \"\" K V S 0", Five("G", "", "K", "V", "S", false)},
        {"MAddDS .x k v 0", Three(".x", "k", "v", false)},
    });
}

// Windows opens each of these names as a device, in any case, with any
// extension and blanks before it. A prefix is always followed by the
// instance number, so only one with a dot can end in a device name.
TEST_F(ArgumentReader, PrefixThatWindowsOpensAsADeviceOnceADotFollowsIsRefused)
{
    const char* const kDevices[] = {"CON",     "PRN",  "AUX",  "NUL",     "COM0",    "COM1",   "COM2",    "COM3",
                                    "COM4",    "COM5", "COM6", "COM7",    "COM8",    "COM9",   "COM\xB9", "COM\xB2",
                                    "COM\xB3", "LPT0", "LPT1", "LPT2",    "LPT3",    "LPT4",   "LPT5",    "LPT6",
                                    "LPT7",    "LPT8", "LPT9", "LPT\xB9", "LPT\xB2", "LPT\xB3"};
    for (const std::string name : kDevices)
    {
        std::string lower = name, mixed = name;
        for (size_t i = 0; i < name.size(); ++i)
        {
            lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[i])));
            mixed[i] = i % 2 ? lower[i] : name[i];
        }
        for (const std::string& refused : {name + ".", lower + ".txt", mixed + "  .tar.gz", lower + " ."})
            EXPECT_FALSE(CDsNames::IsNamePart(refused.c_str())) << refused;
        for (const std::string& kept : {name, lower + " ", name + "x.", "x" + lower + "."})
            EXPECT_TRUE(CDsNames::IsNamePart(kept.c_str())) << kept;
    }
}

TEST_F(ArgumentReader, DoubleByteCharactersAreSteppedOverWhole)
{
    EXPECT_FALSE(CDsNames::IsNamePart("\x95\x5C"));
    ASSERT_EQ(_setmbcp(932), 0);
    EXPECT_TRUE(CDsNames::IsNamePart("\x95\x5C"));
    EXPECT_TRUE(CDsNames::IsNamePart("a\x95"));
    EXPECT_FALSE(CDsNames::IsNamePart("\x95\x5C\\"));
    EXPECT_EQ(Read("MAddDS \x95\x5C k v 0"), Three("\x95\x5C", "k", "v", false));
    char line[] = "\x95 x.exe y";
    EXPECT_STREQ(CTIRNFMain::SkipProgramName(line), "y");
}

TEST(ProgramName, IsSkippedUpToTheFirstBlankOutsideQuotes)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"TIRNFuncts.exe /?", "/?"},
        {"TIRNFuncts.exe", ""},
        {"TIRNFuncts.exe \t \t", ""},
        {"TIRNFuncts.exe /? ", "/? "},
        {"\"C:\\some dir\\TIRNFuncts.exe\" /?", "/?"},
        {"\"C:\\some dir\\TIRNFuncts.exe\"/? MAddDS", "MAddDS"},
        {"C:\\some\" \"dir\\TIRNFuncts.exe \t AddDS  x", "AddDS  x"},
        {"TIRNFuncts.exe\x01\x1f\t  MAddDS", "MAddDS"},
        {"TIRNFuncts.exe \xe9\xa0 AddDS", "\xe9\xa0 AddDS"},
        {"\x95 x.exe y", "x.exe y"},
    };
    for (const auto& c : cases)
    {
        std::vector<char> line(c.first.begin(), c.first.end());
        line.push_back('\0');
        EXPECT_EQ(CTIRNFMain::SkipProgramName(line.data()), c.second) << c.first;
    }
}

} // namespace
