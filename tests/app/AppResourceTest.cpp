// The version resource and the manifest of both builds, read back through
// the calls that Explorer, installers and the loader use. The exes are
// loaded as data files, so either build's test reads both.
#include "harness/TestProcess.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <msxml2.h>

#include <cstdio>
#include <ostream>
#include <set>
#include <string>
#include <vector>

// Declared by msxml2.h, defined in no import library of mingw-w64.
extern "C" const IID IID_IXMLDOMDocument2 = {
    0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

namespace
{

struct Build
{
    const char* name;
    const char* env;
};
const Build kBuilds[] = {{"x64", "TIRN_EXE64"}, {"x86", "TIRN_EXE32"}};

void PrintTo(const Build& build, std::ostream* os)
{
    *os << build.name;
}

class Resources : public testing::TestWithParam<Build>
{
protected:
    void SetUp() override
    {
        m_path = EnvPath(GetParam().env);
        ASSERT_FALSE(m_path.empty());
    }
    std::string m_path;
};

std::string QueryString(const std::vector<char>& info, const std::string& subBlock, bool* found)
{
    char* text = nullptr;
    UINT cch = 0;
    *found = VerQueryValueA(info.data(), subBlock.c_str(), reinterpret_cast<void**>(&text), &cch) && text;
    *found = *found && cch > 0;
    return *found ? std::string(text) : std::string();
}

TEST_P(Resources, VersionResourceCarriesTheProjectVersionAndTheNames)
{
    DWORD dwHandle = 0;
    DWORD cb = GetFileVersionInfoSizeA(m_path.c_str(), &dwHandle);
    ASSERT_NE(0u, cb) << m_path << ": error " << GetLastError();
    std::vector<char> info(cb);
    ASSERT_TRUE(GetFileVersionInfoA(m_path.c_str(), 0, cb, info.data())) << GetLastError();

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT cbFixed = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &cbFixed));
    ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), cbFixed);
    EXPECT_EQ(static_cast<DWORD>(VS_FFI_SIGNATURE), fixed->dwSignature);
    const DWORD dwMS = MAKELONG(TIRN_VERSION_MINOR, TIRN_VERSION_MAJOR);
    const DWORD dwLS = MAKELONG(0, TIRN_VERSION_PATCH);
    EXPECT_EQ(dwMS, fixed->dwFileVersionMS);
    EXPECT_EQ(dwLS, fixed->dwFileVersionLS);
    EXPECT_EQ(dwMS, fixed->dwProductVersionMS);
    EXPECT_EQ(dwLS, fixed->dwProductVersionLS);
    EXPECT_EQ(0u, fixed->dwFileFlags & fixed->dwFileFlagsMask) << "debug, pre-release or patched flags";
    EXPECT_EQ(static_cast<DWORD>(VOS_NT_WINDOWS32), fixed->dwFileOS);
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);

    // Readers take the strings from the block the first translation names.
    WORD* translation = nullptr;
    UINT cbTranslation = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &cbTranslation));
    ASSERT_GE(cbTranslation, 2 * sizeof(WORD));
    EXPECT_EQ(0x0409, translation[0]);
    EXPECT_EQ(1200, translation[1]);
    char szBlock[32];
    std::snprintf(szBlock, sizeof(szBlock), "\\StringFileInfo\\%04x%04x\\", translation[0], translation[1]);

    // An empty expectation takes any text that is not empty.
    const struct
    {
        const char* name;
        std::string want;
    } strings[] = {
        {"FileDescription", ""},
        {"FileVersion", TIRN_VERSION},
        {"ProductName", "TIRNFuncts"},
        {"ProductVersion", TIRN_VERSION},
        {"CompanyName", ""},
        {"LegalCopyright", ""},
        {"InternalName", "TIRNFuncts"},
        {"OriginalFilename", "TIRNFuncts.exe"},
    };
    for (const auto& s : strings)
    {
        bool found = false;
        const std::string text = QueryString(info, szBlock + std::string(s.name), &found);
        std::printf("%s %s%s = \"%s\"\n", GetParam().name, szBlock, s.name, text.c_str());
        EXPECT_TRUE(found) << s.name;
        EXPECT_FALSE(text.empty()) << s.name;
        if (!s.want.empty())
        {
            EXPECT_EQ(s.want, text) << s.name;
        }
    }
}

std::string ReadManifest(const std::string& path, int id)
{
    // A plain data file, not an image resource: Wine maps no image of the
    // other architecture (193) from a 32-bit process.
    HMODULE hModule = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!hModule)
    {
        ADD_FAILURE() << "LoadLibraryExA(" << path << ") failed: " << GetLastError();
        return std::string();
    }
    std::string xml;
    HRSRC hInfo = FindResourceA(hModule, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(24));
    HGLOBAL hData = hInfo ? LoadResource(hModule, hInfo) : nullptr;
    const char* bytes = hData ? static_cast<const char*>(LockResource(hData)) : nullptr;
    if (bytes)
        xml.assign(bytes, SizeofResource(hModule, hInfo));
    else
        ADD_FAILURE() << "no manifest (type 24, id " << id << "): " << GetLastError();
    FreeLibrary(hModule);
    return xml;
}

// The manifest as parsed by the system's XML parser, queried by XPath with
// the namespaces Windows reads each setting from: a setting in any other
// namespace is silently ignored.
class CManifest
{
public:
    explicit CManifest(const std::string& xml)
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        CLSID clsid;
        if (FAILED(CLSIDFromProgID(L"Msxml2.DOMDocument.6.0", &clsid)) ||
            FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument2,
                                    reinterpret_cast<void**>(&m_pDoc))))
        {
            ADD_FAILURE() << "no XML parser";
            return;
        }
        m_pDoc->put_async(VARIANT_FALSE);
        VARIANT_BOOL bLoaded = VARIANT_FALSE;
        BSTR bstrXml = Bstr(xml);
        m_pDoc->loadXML(bstrXml, &bLoaded);
        SysFreeString(bstrXml);
        if (bLoaded != VARIANT_TRUE)
        {
            ADD_FAILURE() << "not well-formed XML:\n" << xml;
            return;
        }
        SetProperty("SelectionLanguage", "XPath");
        SetProperty("SelectionNamespaces",
                    "xmlns:a='urn:schemas-microsoft-com:asm.v1' xmlns:v3='urn:schemas-microsoft-com:asm.v3' "
                    "xmlns:c='urn:schemas-microsoft-com:compatibility.v1' "
                    "xmlns:ws5='http://schemas.microsoft.com/SMI/2005/WindowsSettings' "
                    "xmlns:ws16='http://schemas.microsoft.com/SMI/2016/WindowsSettings'");
        m_bLoaded = true;
    }
    ~CManifest()
    {
        if (m_pDoc)
            m_pDoc->Release();
        CoUninitialize();
    }
    CManifest(const CManifest&) = delete;
    CManifest& operator=(const CManifest&) = delete;

    bool Loaded() const { return m_bLoaded; }

    // The text of every node the query selects.
    std::vector<std::string> Select(const std::string& xpath) const
    {
        std::vector<std::string> texts;
        IXMLDOMNodeList* pList = nullptr;
        BSTR bstrQuery = Bstr(xpath);
        HRESULT hr = m_pDoc->selectNodes(bstrQuery, &pList);
        SysFreeString(bstrQuery);
        if (FAILED(hr) || !pList)
        {
            ADD_FAILURE() << "bad query " << xpath;
            return texts;
        }
        IXMLDOMNode* pNode = nullptr;
        while (pList->nextNode(&pNode) == S_OK && pNode)
        {
            BSTR bstrText = nullptr;
            pNode->get_text(&bstrText);
            texts.push_back(Narrow(bstrText));
            SysFreeString(bstrText);
            pNode->Release();
        }
        pList->Release();
        return texts;
    }

private:
    static BSTR Bstr(const std::string& utf8)
    {
        int cch = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
        BSTR bstr = SysAllocStringLen(nullptr, cch);
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), bstr, cch);
        return bstr;
    }
    static std::string Narrow(BSTR bstr)
    {
        int cch = bstr ? WideCharToMultiByte(CP_UTF8, 0, bstr, -1, nullptr, 0, nullptr, nullptr) : 0;
        std::string text(cch > 0 ? cch - 1 : 0, '\0');
        if (cch > 1)
            WideCharToMultiByte(CP_UTF8, 0, bstr, -1, &text[0], cch, nullptr, nullptr);
        return text;
    }
    void SetProperty(const char* name, const char* value)
    {
        BSTR bstrName = Bstr(name);
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_BSTR;
        v.bstrVal = Bstr(value);
        if (FAILED(m_pDoc->setProperty(bstrName, v)))
            ADD_FAILURE() << "setProperty " << name;
        VariantClear(&v);
        SysFreeString(bstrName);
    }

    IXMLDOMDocument2* m_pDoc = nullptr;
    bool m_bLoaded = false;
};

TEST_P(Resources, ManifestKeepsTheCallersRightsAndNamesTheSystemsAndControlsItIsMadeFor)
{
    // 1: the program's, read at start-up; 2: the usage box's activation context.
    const std::string xml = ReadManifest(m_path, 1), usageXml = ReadManifest(m_path, 2);
    ASSERT_FALSE(xml.empty());
    ASSERT_FALSE(usageXml.empty());
    std::printf("%s manifest (type 24, id 1), %u bytes:\n%s\n", GetParam().name, static_cast<unsigned>(xml.size()),
                xml.c_str());
    std::printf("%s manifest (type 24, id 2), %u bytes:\n%s\n", GetParam().name,
                static_cast<unsigned>(usageXml.size()), usageXml.c_str());
    CManifest manifest(xml);
    CManifest usage(usageXml);
    ASSERT_TRUE(manifest.Loaded());
    ASSERT_TRUE(usage.Loaded());

    const std::string level = "/a:assembly/v3:trustInfo/v3:security/v3:requestedPrivileges/v3:requestedExecutionLevel";
    const std::string settings = "/a:assembly/v3:application/v3:windowsSettings/";
    const std::string controls = "/a:assembly/a:dependency/a:dependentAssembly/"
                                 "a:assemblyIdentity[@name='Microsoft.Windows.Common-Controls']";
    // Each setting once: Windows refuses to start a program whose manifest
    // repeats one.
    const struct
    {
        CManifest& in;
        std::string xpath;
        std::string want;
    } settingsWanted[] = {
        {manifest, "/a:assembly/@manifestVersion", "1.0"},
        {manifest, level + "/@level", "asInvoker"},
        {manifest, level + "/@uiAccess", "false"},
        {manifest, settings + "ws5:dpiAware", "true"},
        {manifest, settings + "ws16:dpiAwareness", "PerMonitorV2, System"},
        {usage, "/a:assembly/@manifestVersion", "1.0"},
        {usage, controls + "/@type", "win32"},
        {usage, controls + "/@version", "6.0.0.0"},
        {usage, controls + "/@processorArchitecture", "*"},
        {usage, controls + "/@publicKeyToken", "6595b64144ccf1df"},
        {usage, controls + "/@language", "*"},
    };
    for (const auto& s : settingsWanted)
        EXPECT_EQ(std::vector<std::string>{s.want}, s.in.Select(s.xpath)) << s.xpath;
    // Resolved at start-up, the controls would cost every run.
    EXPECT_EQ(std::vector<std::string>{}, manifest.Select(controls + "/@name"));

    std::vector<std::string> ids = manifest.Select("/a:assembly/c:compatibility/c:application/c:supportedOS/@Id");
    for (std::string& id : ids)
        CharLowerA(&id[0]);
    const std::set<std::string> systems(ids.begin(), ids.end());
    EXPECT_EQ(ids.size(), systems.size()) << "a system named twice";
    EXPECT_EQ((std::set<std::string>{
                  "{e2011457-1546-43c5-a5fe-008deee3d3f0}", // Vista
                  "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", // 7
                  "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", // 8
                  "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", // 8.1
                  "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", // 10 and 11
              }),
              systems);
}

INSTANTIATE_TEST_SUITE_P(Builds, Resources, testing::ValuesIn(kBuilds),
                         [](const testing::TestParamInfo<Build>& info) { return std::string(info.param.name); });

} // namespace
