#include "app/CTIRNFMain.h"

#include "twainds/CModTwainDS.h"
#include "twainds/CDsNames.h"

#include <mbctype.h>
#include <mbstring.h>

#include <cstring>

namespace
{
const char kDelimiters[] = " ";

unsigned char* Token(char* szLine, const char* szDelimiters)
{
    return _mbstok(reinterpret_cast<unsigned char*>(szLine), reinterpret_cast<const unsigned char*>(szDelimiters));
}

const char* const kFamilyDefaults[] = {"vrtk_", "DeviceData", "InstallCLSID"};

constexpr auto kGuid = &CTIRNFMain::m_szArgGuid;
constexpr auto kPrefix = &CTIRNFMain::m_szArgFilePrefix;
constexpr auto kCheckKey = &CTIRNFMain::m_szArgCheckKey;
constexpr auto kCheckValue = &CTIRNFMain::m_szArgCheckKeyValue;
constexpr auto kSWRegKey = &CTIRNFMain::m_szArgDeviceSWRegKey;
} // namespace

// One row per function: adding a function is adding a row.
struct CTIRNFMain::SFunction
{
    const char* szName; // chosen by its first two characters, in any case
    int nCode;
    // The buffers its arguments are read into, in the order of the job
    // constructor's parameters; the rest are null.
    char (CTIRNFMain::*args[kMaxArgs])[kArgSize];
    // The arguments when none is given; null when every one must be.
    const char* const* pszDefaults;
    void (CModTwainDS::*pfnOperation)(bool bAdd, bool bLog);
    bool bAdd;
};

const CTIRNFMain::SFunction CTIRNFMain::kFunctions[] = {
    {"AddDS", 4, {kGuid, kPrefix, kCheckKey, kCheckValue, kSWRegKey}, NULL, &CModTwainDS::AddTwainDS, true},
    {"RemoveDS", 5, {kGuid, kPrefix, kCheckKey, kCheckValue, kSWRegKey}, NULL, &CModTwainDS::AddTwainDS, false},
    {"MAddDS", 14, {kPrefix, kCheckKey, kCheckValue}, kFamilyDefaults, &CModTwainDS::MAddTwainDS, true},
    {"MRemoveDS", 15, {kPrefix, kCheckKey, kCheckValue}, kFamilyDefaults, &CModTwainDS::MAddTwainDS, false},
};

CTIRNFMain::CTIRNFMain() : m_bLogging(true), m_pszNextToken(NULL), m_bArgTooLong(false)
{
    m_szArgFunction[0] = '\0';
    m_szArgDeviceSWRegKey[0] = '\0';
    m_szArgCheckKeyValue[0] = '\0';
    m_szArgCheckKey[0] = '\0';
    m_szArgFilePrefix[0] = '\0';
    m_szArgGuid[0] = '\0';
    m_szArgLogging[0] = '\0';
}

char* CTIRNFMain::SkipProgramName(char* szProcessLine)
{
    unsigned char* p = reinterpret_cast<unsigned char*>(szProcessLine);
    bool bInQuotes = false;
    while (*p != '\0' && (*p > ' ' || bInQuotes))
    {
        if (*p == '"')
            bInQuotes = !bInQuotes;
        // A trail byte is never taken for a quote or a blank.
        if (_ismbblead(*p) && p[1] != '\0')
            p++;
        p++;
    }
    while (*p != '\0' && *p <= ' ')
        p++;
    return reinterpret_cast<char*>(p);
}

bool CTIRNFMain::IsHelpRequest(const char* szCommandLine)
{
    static const char* const kHelpTexts[] = {"/?", "/h", "-?", "-h", ""};
    for (const char* szHelp : kHelpTexts)
    {
        if (_mbscmp(reinterpret_cast<const unsigned char*>(szCommandLine),
                    reinterpret_cast<const unsigned char*>(szHelp)) == 0)
            return true;
    }
    return false;
}

bool CTIRNFMain::NextArg(char* dest, const char* szDelimiters)
{
    if (m_pszNextToken == NULL)
        return false;

    char* pszToken = m_pszNextToken;
    size_t cchToken = std::strlen(pszToken);
    std::string strArg;
    bool bMoreTokens = true;

    if (pszToken[0] != '"')
    {
        strArg = pszToken;
    }
    else if (pszToken[cchToken - 1] == '"')
    {
        // A lone quote counts as both the opening and the closing one.
        if (cchToken > 2)
            strArg.assign(pszToken + 1, cchToken - 2);
    }
    else
    {
        strArg = pszToken + 1;
        for (;;)
        {
            char* pszPiece = reinterpret_cast<char*>(Token(NULL, szDelimiters));
            if (pszPiece == NULL)
            {
                bMoreTokens = false;
                break;
            }
            size_t cchPiece = std::strlen(pszPiece);
            strArg += szDelimiters;
            if (pszPiece[cchPiece - 1] == '"')
            {
                strArg.append(pszPiece, cchPiece - 1);
                break;
            }
            strArg += pszPiece;
            // Refused anyway; stop gathering a line that could be long.
            if (strArg.size() >= static_cast<size_t>(kArgSize))
                break;
        }
    }

    if (strArg.size() >= static_cast<size_t>(kArgSize))
    {
        m_bArgTooLong = true;
        m_pszNextToken = NULL;
        return false;
    }
    std::memcpy(dest, strArg.c_str(), strArg.size() + 1);
    m_pszNextToken = bMoreTokens ? reinterpret_cast<char*>(Token(NULL, szDelimiters)) : NULL;
    return true;
}

const CTIRNFMain::SFunction* CTIRNFMain::FindFunction(const char* szFunction)
{
    if (std::strlen(szFunction) < 2)
        return NULL;
    for (const SFunction& function : kFunctions)
    {
        if (_mbsnbicmp(reinterpret_cast<const unsigned char*>(szFunction),
                       reinterpret_cast<const unsigned char*>(function.szName), 2) == 0)
            return &function;
    }
    return NULL;
}

int CTIRNFMain::LookupFunction(const char* szFunction)
{
    const SFunction* pFunction = FindFunction(szFunction);
    return pFunction != NULL ? pFunction->nCode : 0;
}

bool CTIRNFMain::ReadArgs(const SFunction& function)
{
    for (int i = 0; i < kMaxArgs && function.args[i] != NULL; ++i)
    {
        char* szArg = this->*function.args[i];
        if (NextArg(szArg, kDelimiters))
        {
            // An argument that has a default is not given empty, nor the
            // hardware identifier: an empty one is found in every check value.
            if ((function.pszDefaults != NULL || function.args[i] == kGuid) && szArg[0] == '\0')
                return false;
            continue;
        }
        if (i > 0 || function.pszDefaults == NULL || m_bArgTooLong)
            return false;
        for (int j = 0; j < kMaxArgs && function.args[j] != NULL; ++j)
            std::strcpy(this->*function.args[j], function.pszDefaults[j]);
        break;
    }
    return ReadLogging();
}

bool CTIRNFMain::ReadLogging()
{
    if (NextArg(m_szArgLogging, kDelimiters) && m_szArgLogging[0] == '0')
        m_bLogging = false;
    return !m_bArgTooLong;
}

bool CTIRNFMain::Run(char* szCommandLine)
{
    m_pszNextToken = reinterpret_cast<char*>(Token(szCommandLine, kDelimiters));
    if (!NextArg(m_szArgFunction, kDelimiters))
        return false;

    const SFunction* pFunction = FindFunction(m_szArgFunction);
    if (pFunction == NULL || !ReadArgs(*pFunction))
        return false;
    // The prefix becomes part of every data-source name: it must not lead
    // out of the twain_32 directory or widen the directory walk.
    if (!CDsNames::IsNamePart(m_szArgFilePrefix))
        return false;
    Dispatch(*pFunction);
    // Whatever the function found or did, it ran: its outcome is in its log.
    return true;
}

void CTIRNFMain::Dispatch(const SFunction& function)
{
    const char* args[kMaxArgs] = {};
    int nArgs = 0;
    for (; nArgs < kMaxArgs && function.args[nArgs] != NULL; ++nArgs)
        args[nArgs] = this->*function.args[nArgs];
    // The row's buffers are the arguments of one of the job's constructors.
    if (nArgs == kMaxArgs)
    {
        CModTwainDS job(args[0], args[1], args[2], args[3], args[4]);
        (job.*function.pfnOperation)(function.bAdd, m_bLogging);
    }
    else
    {
        CModTwainDS job(args[0], args[1], args[2]);
        (job.*function.pfnOperation)(function.bAdd, m_bLogging);
    }
}
