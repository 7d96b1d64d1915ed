// What a careless caller, a damaged registry or an odd disk can hand the exe: every run ends with status 0 or 1,
// changes nothing outside twain_32 and the two logs, and leaves the data source of the registered TIRN device 0000.
// Tests named *CodePage* run a second time with the whole process tree in code page 932.
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
#include <cstdlib>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace
{
const unsigned kSeed = 0x7152u;
const std::string kGeneric("generic module\r\n\x1A\0tail", 22);
const std::string kClsid = "{5A1C7B3E-0000-4000-8000-000000000000}";
const std::string kSingle = " vid_x vrtk_ DeviceData InstallCLSID sw"; // matches Tirn() devices, never the keeper

bool Cp932()
{
    return GetACP() == 932;
}

std::string Rep(const std::string& piece, size_t size)
{
    std::string out;
    while (out.size() < size)
        out += piece;
    return out.substr(0, size);
}

std::string Shown(const std::string& bytes)
{
    std::string out;
    for (unsigned char c : bytes.substr(0, 200))
    {
        char hex[8];
        std::snprintf(hex, sizeof(hex), "\\x%02X", c);
        out += c >= 0x20 && c < 0x7F && c != '\\' ? std::string(1, static_cast<char>(c)) : hex;
    }
    return (bytes.size() > 200 ? out + "... (" + std::to_string(bytes.size()) + " bytes)" : out) +
           (Cp932() ? " [code page 932]" : "");
}

TestDevice Tirn(const std::string& instance, std::vector<RegValue> more = {})
{
    more.push_back(RegSz("CorvelCLSID", kClsid));
    more.push_back(RegSz("InstallCLSID", "USB\\VID_X&PID_1"));
    return ImageDevice(instance, {{"DeviceData", more}});
}

class HostileInput : public CleanMachine
{
protected:
    void SetUp() override
    {
        CleanMachine::SetUp();
        AddDevice(
            ImageDevice("0000", {{"DeviceData", {RegSz("CorvelCLSID", kClsid), RegSz("TwainDSmodule", "zbxgnds2")}}}));
        Put(DsFile("0000"), kGeneric);
        m_win = TwainDir().substr(0, TwainDir().size() - 9);
        const std::string t = TwainDir() + "\\";
        // Where a path leading out of twain_32, or starting at the root, would land.
        for (const std::string& path : std::vector<std::string>{
                 "C:\\sentinel\\a.txt", "C:\\sentinel\\vrtk_0000\\vrtk_0000.ds", "C:\\vrtk_0000\\vrtk_0000.ds",
                 m_win + "\\sentinel.txt", m_win + "\\vrtk_0000\\vrtk_0000.ds", m_win + "\\...ds", t + "notads.txt",
                 t + ".ds", t + "..ds"})
            Put(path, m_sentinels[path] = "sentinel\r\n\x1A" + path);
        Put(t + "zbxgnds2", m_sentinels[t + "zbxgnds2"] = kGeneric);
        Snapshot();
    }

    void TearDown() override
    {
        for (const std::string& path : {std::string("C:\\sentinel"), std::string("C:\\vrtk_0000"),
                                        m_win + "\\vrtk_0000", m_win + "\\sentinel.txt", m_win + "\\...ds"})
            RemoveTree(path);
        CleanMachine::TearDown();
    }

    std::vector<std::vector<std::string>> Listings() const
    {
        return {ListDir("C:"), ListDir("C:\\sentinel"), ListDir(m_win), ListDir(TempDir())};
    }
    void Snapshot() { m_listings = Listings(); }

    DWORD Go(const std::string& args)
    {
        const std::string line = "TIRNFuncts.exe " + args;
        // Fewer than three visible characters may be a help switch.
        const bool mayShowUsage =
            std::count_if(args.begin(), args.end(), [](char c) { return c > ' ' && c < 0x7F; }) < 3;
        return Checked(mayShowUsage ? RunExpectingUsage(line).exitCode : RunRaw(line), Shown(args));
    }

    DWORD Checked(DWORD code, const std::string& what)
    {
        EXPECT_TRUE(code == 0 || code == 1) << "exit status " << code << " after " << what;
        for (const auto& sentinel : m_sentinels)
            EXPECT_EQ(ReadBytes(sentinel.first), sentinel.second) << sentinel.first << " changed by " << what;
        EXPECT_TRUE(!m_keeper || ReadBytes(DsFile("0000")) == kGeneric) << "device 0000 lost its data source: " << what;
        EXPECT_EQ(Listings(), m_listings) << "entries outside twain_32 changed by " << what;
        return code;
    }

    std::string m_win;
    std::map<std::string, std::string> m_sentinels;
    std::vector<std::vector<std::string>> m_listings;
    bool m_keeper = true;
};

TEST_F(HostileInput, ArgumentsOf260BytesOrMoreAreRefusedWhereverTheyAreRead)
{
    const std::vector<std::vector<std::string>> calls = {
        {"AddDS", "vid_x", "vrtk_", "DeviceData", "InstallCLSID", "sw", "1", "unread"},
        {"MRemoveDS", "vrtk_", "DeviceData", "InstallCLSID", "1", "unread"}};
    // Argument sizes, and whether the argument is quoted.
    const std::vector<std::pair<size_t, bool>> forms = {{259, false}, {260, false}, {259, true}, {4000, true}};
    for (const std::vector<std::string>& call : calls)
    {
        for (size_t pos = 0; pos < call.size(); ++pos)
        {
            for (const auto& form : forms)
            {
                std::vector<std::string> args = call;
                // Quoted, the argument is gathered from many tokens.
                args[pos] += Rep(form.second ? " abcdefgh" : "p", form.first - args[pos].size());
                if (form.second)
                    args[pos] = "\"" + args[pos] + "\"";
                std::string line = args[0];
                for (size_t i = 1; i < args.size(); ++i)
                    line += " " + args[i];
                EXPECT_EQ(Go(line), pos + 1 < call.size() && form.first >= 260 ? 1u : 0u) << Shown(line);
            }
        }
    }
}

TEST_F(HostileInput, ThousandsOfTokensAndQuotesAnywhereEndTheRunNormally)
{
    const std::string many = Rep(" t", 16000), blanks(5000, ' ');
    const std::vector<std::pair<std::string, DWORD>> cases = {
        {"AddDS" + kSingle + " 0" + many, 0},
        {"MRemoveDS vrtk_ DeviceData InstallCLSID 0" + many, 0},
        {"MAddDS" + many, 0},
        {"AddDS \"g" + many, 1},
        {"MRemoveDS \"vrtk_" + many + "\"", 1},
        {"RemoveDS" + Rep(" \"", 16000), 1}, // an empty identifier
        {Rep("\"", 30000), 1},
        {blanks + "MAddDS" + blanks + "vrtk_" + blanks + "DeviceData" + blanks + "InstallCLSID" + blanks + "0", 0}};
    for (const auto& c : cases)
        EXPECT_EQ(Go(c.first), c.second) << Shown(c.first);
    const std::string single = "AddDS" + kSingle + " 1", multi = "MRemoveDS vrtk_ DeviceData InstallCLSID 1";
    for (size_t i = 0; i <= single.size(); ++i)
        Go(single.substr(0, i) + "\"" + single.substr(i));
    for (size_t i = multi.find(' '); i != std::string::npos; i = multi.find(' ', i + 1))
        Go(multi.substr(0, i) + " \"" + multi.substr(i));
    const std::string unclosed = "\"TIRNFuncts.exe MAddDS vrtk_ DeviceData InstallCLSID 0";
    Checked(RunExpectingUsage(unclosed).exitCode, unclosed);
}

TEST_F(HostileInput, ControlAndHighBytesEndTheRunNormallyUnderEitherCodePage)
{
    for (int b = Cp932() ? 0x80 : 1; b < 256; b += b < 0x80 ? 1 : 2)
    {
        if (b >= ' ' && b < 0x7F)
            continue;
        const std::string c(1, static_cast<char>(b)), d(1, static_cast<char>(b < 0x80 ? b : b + 1));
        Go(b % 4 < 2 ? "MA" + c + "dDS " + c + "vrtk_" + c + " Device" + c + "Data " + d + "\"" + d + " " + d
                     : (b < 0x80 ? c : "") + "RemoveDS " + c + " vrtk_" + c + c + " " + d + "DeviceData InstallCLSID" +
                           d + " sw" + d + " " + d + "0");
    }
}

TEST_F(HostileInput, PrefixesThatCouldLeaveOrWidenTwain32AreRefused)
{
    // Path characters, dot names, wildcards, and names that Windows opens as
    // a device once a dot follows.
    const std::vector<std::string> prefixes = {
        "\\",     "/",    ":",         "*",     "?",          "\"\"\"",     "a\"b",   "<",           ">",        "|",
        ".",      "..",   "..\\..\\x", "a/b",   "C:",         "vrtk_*",     "vrtk_?", "\\\\?\\C:\\", "\\\\.\\x", "..\\",
        "\"..\"", "NUL.", "con.",      "CoM1.", "\"lpt9 .\"", "\"AUX .x\"", "prn..",  "COM\xB9."};
    for (const std::string& prefix : prefixes)
    {
        for (const std::string call : {"RemoveDS vid_x ", "MRemoveDS "})
            EXPECT_EQ(Go(call + prefix + " DeviceData InstallCLSID sw 1"), 1u) << Shown(call + prefix);
    }
    EXPECT_FALSE(Exists(LogPath("_remove_ds.log")));
}

// Windows reserves the superscripts, whatever bytes a code page gives them,
// and no other character whose byte is theirs in code page 1252. Each row
// runs where the code page spells it; this test runs in the code pages
// 1252, 932, 949, 1250 and 1251.
TEST_F(HostileInput, DeviceNamesOfThePrefixAreReadAsCharactersUnderEitherCodePage)
{
    const struct
    {
        const wchar_t* prefix;
        bool refused;
    } rows[] = {{L"COM1.", true},       {L"COM\u00B9.", true},  {L"lpt\u00B2 .x", true}, {L"Com\u00B3.", true},
                {L"COM\u0456.", false}, {L"LPT\u0142.", false}, {L"LPT\u0105.", false}, {L"COM\u2116.", false},
                {L"COM\uFF79.", false}, {L"LPT\uFF72.", false}};
    const char* codePage = std::getenv("TIRN_CODE_PAGE");
    ASSERT_EQ(GetACP(), codePage != nullptr ? static_cast<UINT>(std::atoi(codePage)) : GetACP());
    int nonAscii = 0;
    for (const auto& row : rows)
    {
        char bytes[32];
        BOOL defaulted = FALSE;
        int cb = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, row.prefix, -1, bytes, sizeof(bytes), nullptr,
                                     &defaulted);
        if (cb == 0 || defaulted)
            continue;
        const std::string prefix = bytes;
        nonAscii += prefix.size() > 5 || static_cast<unsigned char>(prefix[3]) >= 0x80;
        EXPECT_EQ(Go("MRemoveDS \"" + prefix + "\" DeviceData InstallCLSID 0"), row.refused ? 1u : 0u)
            << Shown(prefix) << " in code page " << GetACP();
    }
    EXPECT_GE(nonAscii, 2) << "code page " << GetACP() << " spells too few of the characters";
}

TEST_F(HostileInput, TrailBytesLikeBackslashOrBarArePartOfOneCharacterOnlyUnderCodePage932)
{
    for (const std::string prefix : {"\x83\x5C", "\x83\x7C"}) // two characters in 1252, one in 932
    {
        EXPECT_EQ(Go("MAddDS " + prefix + " DeviceData InstallCLSID 0"), Cp932() ? 0u : 1u);
        EXPECT_EQ(Exists(DsFile("0000", prefix)), Cp932()) << "data source of device 0000 under this prefix";
        EXPECT_EQ(Go("RemoveDS {5a1c7b3e " + prefix + " DeviceData CorvelCLSID sw 0"), Cp932() ? 0u : 1u);
        EXPECT_FALSE(Exists(TwainDir() + "\\" + prefix + "0000"));
    }
}

TEST_F(HostileInput, SeededRandomLinesEndTheRunNormallyUnderEitherCodePage)
{
    std::mt19937 rng(kSeed);
    const std::vector<std::string> words = {"AddDS", "RemoveDS",   "MAddDS",       "MRemoveDS",    "mr", "aD",
                                            "vrtk_", "DeviceData", "InstallCLSID", "vid_x",        "0",  "1",
                                            "\"",    "\"\"",       Rep("a", 259),  Rep("b c", 300)};
    const std::string odd = "\"\\/:*?<>|. \t\x01\x1A\x7F\x81\x83\x5C\xA0\xE0\xFC\xFF";
    for (int i = 0; i < 80; ++i)
    {
        std::string args = words[rng() % 6];
        for (unsigned n = rng() % 10; n > 0; --n)
        {
            args += ' ';
            if (rng() % 2)
                args += words[rng() % words.size()];
            else
                for (unsigned k = 1 + rng() % 6; k > 0; --k)
                    args += odd[rng() % odd.size()];
        }
        SCOPED_TRACE("seed " + std::to_string(kSeed) + ", line " + std::to_string(i));
        Go(args);
    }
}

struct ValueCase
{
    const char* hwid; // set: a check value that AddDS and RemoveDS search for it; null: a TwainDSmodule value
    RegValue value;
    bool yes;        // the check value matches, or the module value makes a TIRN device
    int yes932 = -1; // the same under code page 932; -1: a case not run there
};

TEST_F(HostileInput, RegistryValuesOfAnyTypeAreReadOnlyWithinTheirBytesUnderEitherCodePage)
{
    const char* const m = "TwainDSmodule";
    const ValueCase cases[] = {
        {"vid_x", RegRaw("V", REG_BINARY, "xxVID_Xyy"), true},
        {"vid_x", RegRaw("V", REG_BINARY, Rep("z", 255) + "VID_X"), true},
        {"vid_x", RegRaw("V", REG_BINARY, Rep("z", 256) + "VID_X"), false},
        {"vid_x", RegRaw("V", REG_BINARY, std::string("\0VID_X", 6)), false},
        {"vid_x", RegSz("V", Rep("z", 254) + "VID_X"), true},
        {"vid_x", RegSz("V", Rep("z", 255) + "VID_X"), false},
        {"vid_x", RegRaw("V", REG_SZ, Rep("z", 255) + "VID_X"), true},
        {"vid_x", RegRaw("V", REG_EXPAND_SZ, "USB\\VID_X"), true},
        {"VIDX", RegDword("V", 0x78646976), true},
        {"x", RegDword("V", 0), false},
        {"x", RegRaw("V", REG_NONE, ""), false},
        {"vid_x", RegMultiSz("V", {"USB\\VID_X", "other"}), true},
        {"vid_x", RegMultiSz("V", {"other", "USB\\VID_X"}), false},
        {"vid_x", RegRaw("V", REG_BINARY, "VID_X\x81"), true, 1},
        {"vid_x", RegRaw("V", REG_BINARY, "VID_X" + Rep("\x81", 255)), true, 1},
        // Trail bytes that look like capitals or a backslash are neither.
        {"\x83\x61", RegSz("V", "\x83\x41"), true, 0},
        {"\x83\x41", RegSz("V", "\x83\x61"), true, 0},
        {"\\", RegSz("V", "ab\x95\x5C"), true, 0},
        {nullptr, RegRaw(m, REG_BINARY, "zbxgnds2"), true},
        {nullptr, RegRaw(m, REG_BINARY, std::string("zbxgnds2\0junk", 13)), true},
        {nullptr, RegRaw(m, REG_BINARY, "zbxgnds2" + std::string(252, '\0')), true},
        {nullptr, RegRaw(m, REG_SZ, "zbxgnds2.tmp"), true},
        {nullptr, RegMultiSz(m, {"zbxgends.tmp", "other"}), true},
        {nullptr, RegMultiSz(m, {"other", "zbxgnds2"}), false},
        {nullptr, RegDword(m, 0), false},
        {nullptr, RegSz(m, ""), false},
        {nullptr, RegSz(m, "ZBXGNDS2"), false},
        {nullptr, RegSz(m, Rep("z", 259)), false},
        {nullptr, RegSz(m, Rep("z", 260)), false}, // 261 bytes: longer than any module name
        {nullptr, RegRaw(m, REG_BINARY, Rep("z", 261)), false},
        {nullptr, RegRaw(m, REG_BINARY, "zbxgnds2\x81"), false, 0}};
    for (const auto& c : cases)
    {
        if (Cp932() && c.yes932 < 0)
            continue;
        const bool yes = Cp932() ? c.yes932 == 1 : c.yes;
        SCOPED_TRACE(Shown(c.value.data));
        const std::string single = std::string(" ") + (c.hwid ? c.hwid : "") + " vrtk_ DeviceData V sw 0";
        AddDevice(c.hwid ? ImageDevice("0001", {{"DeviceData", {c.value}}}) : Tirn("0001", {c.value}));
        Put(Staged(1), "staged");
        EXPECT_EQ(Go(c.hwid ? "AddDS" + single : "MAddDS vrtk_ DeviceData InstallCLSID 0"), 0u);
        EXPECT_EQ(Exists(DsFile("0001")), yes) << "after adding";
        Put(DsFile("0001"), "ds");
        EXPECT_EQ(Go(c.hwid ? "RemoveDS" + single : "MRemoveDS vrtk_ DeviceData InstallCLSID 0"), 0u);
        EXPECT_EQ(Exists(DsFile("0001")), c.hwid ? !yes : yes) << "after removing";
        RemoveTree(TwainDir() + "\\vrtk_0001");
    }
}

TEST_F(HostileInput, DevicesWithMalformedDriverNamesAreSkippedUnderEitherCodePage)
{
    const std::string g = std::string(kImageClassGuid) + "\\";
    std::vector<TestDevice> devices;
    for (const std::string& driver :
         std::vector<std::string>{"nobackslash", g + "00000", g + Rep("9", 300), g + "..", g + ".", g + "a/b", g,
                                  g + "a:b", g + "x\\..", g + "*", g + "..\\.."})
    {
        devices.push_back(Tirn(std::to_string(10 + devices.size())));
        devices.back().driver = driver;
        devices.back().hasDriverKey =
            driver != g && driver.size() < 200; // not the class key itself, nor too long a name
    }
    devices.push_back(Tirn("0099"));
    devices.back().enumKey = "ROOT\\IMAGE\\99"; // listed after the malformed ones
    CDeviceScope scope(devices);
    const std::vector<std::string> before = ListTree(TwainDir());
    std::vector<std::string> added = before;
    added.insert(added.end(), {"vrtk_0099\\", "vrtk_0099\\vrtk_0099.ds"});
    EXPECT_EQ(Go("MAddDS"), 0u);
    EXPECT_EQ(ListTree(TwainDir()), Sorted(added));
    // An empty prefix puts the instance number first in every name.
    for (const char* f : {"AddDS", "RemoveDS"})
        EXPECT_EQ(Go(std::string(f) + " vid_x \"\" DeviceData InstallCLSID sw"), 0u);
    EXPECT_EQ(Go("MRemoveDS"), 0u);
    EXPECT_EQ(Go("RemoveDS" + kSingle), 0u);
    EXPECT_EQ(ListTree(TwainDir()), before);
}

TEST_F(HostileInput, AThousandDevicesEachGetTheirDataSource)
{
    for (int i = 1; i < 1000; ++i)
        AddDevice(Tirn(Inst(i)));
    EXPECT_EQ(Go("MAddDS"), 0u);
    int wrong = 0;
    for (int i = 0; i < 1000; ++i)
        wrong += ReadBytes(DsFile(i)) != kGeneric;
    EXPECT_EQ(wrong, 0) << "devices without their data source";
    for (int i = 1; i < 1000; i += 2)
        RemoveDevice(Tirn(Inst(i)));
    // Logged, each entry's lookup logs the whole device walk again: a 70 MB log for 1000 entries.
    EXPECT_EQ(Go("MRemoveDS vrtk_ DeviceData InstallCLSID 0"), 0u);
    wrong = 0;
    for (int i = 0; i < 1000; ++i)
        wrong += Exists(DsDir(Inst(i))) != (i % 2 == 0);
    EXPECT_EQ(wrong, 0) << "data sources kept of gone devices or lost of present ones";
}

TEST_F(HostileInput, OddAttributesAndKindsOfEntriesNeverStopARun)
{
    AddDevice(Tirn("0001")); // vrtk_0002 has no device
    const std::string t = TwainDir() + "\\", generic = t + "zbxgnds2";
    const std::pair<std::function<void()>, std::vector<std::string>> scenarios[] = {
        // what twain_32 gains
        {[&]
         {
             for (const char* n : {"0001", "0002"})
             {
                 Put(Staged(n), "staged");
                 Put(DsFile(n), "old");
             }
             for (const std::string& path : ListTree(TwainDir()))
                 SetFileAttributesA((t + path).c_str(),
                                    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
         },
         {"vrtk_0001\\", "vrtk_0001\\vrtk_0001.ds"}},
        {[&]
         {
             Put(t + "vrtk_0001", "file 1");
             Put(t + "vrtk_0002", "file 2");
         },
         {"vrtk_0001", "vrtk_0002"}},
        {[&]
         {
             Put(DsFile("0001") + "\\inner", "x");
             Put(DsFile("0002") + "\\inner", "x");
         },
         {"vrtk_0001\\", "vrtk_0001\\vrtk_0001.ds\\", "vrtk_0001\\vrtk_0001.ds\\inner", "vrtk_0002\\",
          "vrtk_0002\\vrtk_0002.ds\\", "vrtk_0002\\vrtk_0002.ds\\inner"}},
        {[&]
         {
             DeleteFileA(generic.c_str());
             Put(generic + "\\inner", "x");
         },
         {"vrtk_0001\\", "zbxgnds2\\inner"}}};
    const std::vector<std::string> base = ListTree(TwainDir());
    for (const auto& s : scenarios)
    {
        SCOPED_TRACE("scenario " + std::to_string(&s - scenarios));
        const std::map<std::string, std::string> sentinels = m_sentinels;
        s.first();
        const bool genericIsDir = (GetFileAttributesA(generic.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (genericIsDir)
            m_sentinels.erase(generic);
        EXPECT_EQ(Go("MRemoveDS"), 0u);
        EXPECT_EQ(Go("MAddDS"), 0u);
        std::vector<std::string> expected = base;
        if (genericIsDir)
            *std::find(expected.begin(), expected.end(), "zbxgnds2") = "zbxgnds2\\";
        expected.insert(expected.end(), s.second.begin(), s.second.end());
        EXPECT_EQ(ListTree(TwainDir()), Sorted(expected));
        const DWORD attributes = GetFileAttributesA(DsFile("0001").c_str());
        EXPECT_TRUE(attributes == INVALID_FILE_ATTRIBUTES || attributes & FILE_ATTRIBUTE_DIRECTORY ||
                    ReadBytes(DsFile("0001")) == kGeneric)
            << "a read-only data source is overwritten";
        for (const char* f : {"AddDS", "RemoveDS"})
            EXPECT_EQ(Go(f + kSingle), 0u);
        m_sentinels = sentinels;
        for (const std::string n : {"vrtk_0001", "vrtk_0002", "zbxgnds2"})
            RemoveTree(t + n);
        Put(generic, kGeneric);
    }
}

TEST_F(HostileInput, AMissingTwain32OrAFileInItsPlaceIsLeftAsItIs)
{
    AddDevice(Tirn("0001"));
    m_keeper = false;
    for (auto it = m_sentinels.begin(); it != m_sentinels.end();)
        it = it->first.rfind(TwainDir() + "\\", 0) == 0 ? m_sentinels.erase(it) : std::next(it);
    for (bool asFile : {false, true})
    {
        RemoveTree(TwainDir());
        if (asFile)
            WriteBytes(TwainDir(), "not a directory");
        Snapshot();
        for (const std::string& args :
             std::vector<std::string>{"MAddDS", "MRemoveDS", "AddDS" + kSingle, "RemoveDS" + kSingle})
            EXPECT_EQ(Go(args), 0u);
        EXPECT_EQ(Exists(TwainDir()), asFile);
        EXPECT_EQ(ReadBytes(TwainDir()), asFile ? "not a directory" : "");
    }
}

TEST_F(HostileInput, EntriesNamedLikeDataSourcesOfEveryLengthAreWalkedSafely)
{
    AddDevice(Tirn("123"));
    const std::string t = TwainDir() + "\\";
    std::vector<std::string> expected = ListTree(TwainDir());
    for (size_t k = 0; t.size() + 5 + k < MAX_PATH; ++k)
    {
        const std::string name = "vrtk_" + Rep("1234567890", k);
        const bool gone = k == 4; // only four digits name a data source, whatever devices are listed
        if (k <= 4 || (k % 2 == 0 && t.size() + 2 * name.size() + 4 < MAX_PATH))
        {
            Put(DsFile("", name), kGeneric);
            if (!gone)
                expected.insert(expected.end(), {name + "\\", name + "\\" + name + ".ds"});
        }
        else if (k % 2 == 0)
        {
            CreateDirectoryA((t + name).c_str(), nullptr);
            expected.push_back(name + "\\");
        }
        else
        {
            WriteBytes(t + name, "file");
            expected.push_back(name);
        }
    }
    Put(DsFile("0001", "VRTK_"), "no device 0001");
    // Too long for a path: only the wide functions with \\?\ make and delete it.
    const std::string longDir = "\\\\?\\" + t + "vrtk_";
    const std::wstring longName = std::wstring(longDir.begin(), longDir.end()) + std::wstring(245, L'7');
    HANDLE hLong = CreateFileW(longName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(hLong, INVALID_HANDLE_VALUE);
    CloseHandle(hLong);
    expected.push_back("vrtk_" + std::string(245, '7'));
    for (const char* args : {"MRemoveDS", "MRemoveDS vrtk_ DeviceData InstallCLSID 0"})
    {
        EXPECT_EQ(Go(args), 0u);
        EXPECT_EQ(ListTree(TwainDir()), Sorted(expected));
    }
    EXPECT_TRUE(DeleteFileW(longName.c_str()));
}
} // namespace

namespace
{
// The data-source directories that the logs' path lines name.
std::set<std::string> DirectoriesLogged()
{
    std::set<std::string> dirs;
    for (const char* log : {"_add_ds.log", "_remove_ds.log"})
    {
        for (const LogSection& section : ParseLog(ReadBytes(LogPath(log))))
        {
            for (const std::string& line : section.body)
            {
                if (line.rfind("szTwainDir = ", 0) == 0)
                    dirs.insert(line.substr(13));
                else if (line.rfind("Existing File:\t", 0) == 0)
                    dirs.insert(line.substr(15, line.rfind('\\') - 15));
            }
        }
    }
    return dirs;
}
} // namespace

TEST_F(HostileInput, OnlyFourDigitInstanceNumbersNameFilesUnderEitherCodePage)
{
    // With the prefix "CO", "M1" and "N" would name the devices COM1 and CON;
    // a path drops the last dot or blank of "000." and "000 "; a double-byte
    // character may end in the byte of a backslash.
    std::vector<TestDevice> devices;
    for (const std::string instance : {"\\M1", "\\N", "\\000.", "\\000 ", "\\1", "\\00000",
                                       "\x95\x5C"
                                       "0042"})
    {
        devices.push_back(Tirn(std::to_string(10 + devices.size())));
        devices.back().driver = kImageClassGuid + instance;
    }
    CDeviceScope scope(devices);
    std::set<std::string> served;
    for (const std::string prefix : {"CO", "vrtk_"})
    {
        for (const std::string call : {"MAddDS ", "MRemoveDS ", "AddDS vid_x ", "RemoveDS vid_x "})
            EXPECT_EQ(Go(call + prefix + " DeviceData InstallCLSID sw"), 0u);
        served.insert(TwainDir() + "\\" + prefix + "0000");
        // Where 0x5C is a backslash of its own, the driver name ends in 0042.
        if (!Cp932())
            served.insert(TwainDir() + "\\" + prefix + "0042");
    }
    EXPECT_EQ(DirectoriesLogged(), served);
}

TEST_F(HostileInput, RunsStartedTogetherKeepEverySectionWholeNearAndFarFromTheCut)
{
    const struct
    {
        int devices, runsEach;
        size_t oldLog; // bytes of old lines in each log at the start
    } rows[] = {{12, 4, 0}, {3, 6, 51000}};
    for (const auto& row : rows)
    {
        SCOPED_TRACE(std::to_string(row.runsEach) + " adding and " + std::to_string(row.runsEach) +
                     " removing runs, logs of " + std::to_string(row.oldLog) + " bytes");
        std::vector<TestDevice> devices;
        for (int i = 1; i <= row.devices; ++i)
            devices.push_back(Tirn(std::string(i < 10 ? "000" : "00") + std::to_string(i)));
        CDeviceScope scope(devices);
        std::vector<std::string> calls, names;
        for (int k = 0; k < row.runsEach; ++k)
        {
            for (const char* kind : {"a", "r"})
            {
                names.push_back(kind + std::to_string(k) + "_");
                calls.push_back((*kind == 'a' ? "MAddDS " : "MRemoveDS ") + names.back() + " DeviceData InstallCLSID");
            }
        }
        auto clear = [&]
        {
            for (const std::string& name : names)
            {
                for (int i = 0; i <= row.devices; ++i)
                    RemoveTree(TwainDir() + "\\" + name + (i < 10 ? "000" : "00") + std::to_string(i));
                RemoveTree(TwainDir() + "\\" + name + "0500");
                RemoveTree(TwainDir() + "\\" + name + "0501");
            }
        };
        // Removing runs find two data sources of devices that are gone.
        auto stage = [&]
        {
            clear();
            for (const std::string& name : names)
            {
                if (name[0] == 'r')
                {
                    Put(DsFile("0500", name), "old");
                    Put(DsFile("0501", name), "old");
                }
            }
        };
        auto logOf = [](const std::string& call) { return LogPath(call[1] == 'A' ? "_add_ds.log" : "_remove_ds.log"); };

        // What each run logs when it runs alone.
        std::multiset<std::vector<std::string>> alone[2];
        stage();
        for (const std::string& call : calls)
        {
            RemoveLogs();
            Go(call);
            alone[call[1] == 'A'].insert(LastBody(logOf(call)));
        }

        stage();
        RemoveLogs();
        std::string old;
        for (int i = 100000; old.size() + 50 <= row.oldLog; ++i)
            old += "old line " + std::to_string(i) + std::string(33, '-') + "\r\n";
        WriteBytes(LogPath("_add_ds.log"), old);
        WriteBytes(LogPath("_remove_ds.log"), old);
        const std::vector<DWORD> codes = RunTogether(calls);
        for (size_t i = 0; i < calls.size(); ++i)
            Checked(codes[i], "a run of several: " + calls[i]);

        for (bool adding : {false, true})
        {
            SCOPED_TRACE(adding ? "adding log" : "removing log");
            const std::string bytes = ReadBytes(LogPath(adding ? "_add_ds.log" : "_remove_ds.log"));
            std::multiset<std::vector<std::string>> together;
            size_t expectedLines = 0, foundLines = 0, written = old.size();
            for (const std::vector<std::string>& body : alone[adding])
            {
                expectedLines += body.size();
                written += 20 + 11 + 20 + 9 + 2; // time stamps, Start Log, End Log, empty line
                for (const std::string& line : body)
                    written += line.size() + 2;
            }
            for (const LogSection& section : ParseLog(bytes))
            {
                if (section.wellFormed)
                {
                    together.insert(section.body);
                    foundLines += section.body.size();
                    continue;
                }
                // Only the old lines may stand outside a section, and only
                // before the first one.
                EXPECT_TRUE(together.empty()) << "lines between sections";
                for (const std::string& line : section.body)
                    EXPECT_TRUE(line.empty() || old.find(line + "\r\n") != std::string::npos) << line;
            }
            EXPECT_TRUE(together == alone[adding])
                << together.size() << " of " << alone[adding].size() << " sections whole, " << foundLines << " of "
                << expectedLines << " lines in them";
            EXPECT_EQ(bytes.size() < written, row.oldLog > 0) << "cut or not";
            EXPECT_FALSE(Exists(LogPath(adding ? "_add_ds.lock" : "_remove_ds.lock")));
        }
        clear();
    }
}
