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
} // namespace

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

int CTIRNFMain::LookupFunction(const char* szFunction)
{
    static const struct
    {
        const char* szName;
        int nCode;
    } kFunctions[] = {
        {"AddDS", kAddDS},
        {"RemoveDS", kRemoveDS},
        {"MAddDS", kMAddDS},
        {"MRemoveDS", kMRemoveDS},
    };
    if (std::strlen(szFunction) < 2)
        return kNone;
    for (const auto& function : kFunctions)
    {
        if (_mbsnbicmp(reinterpret_cast<const unsigned char*>(szFunction),
                       reinterpret_cast<const unsigned char*>(function.szName), 2) == 0)
            return function.nCode;
    }
    return kNone;
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

    int nFunction = LookupFunction(m_szArgFunction);
    switch (nFunction)
    {
    case kAddDS:
    case kRemoveDS:
        if (!NextArg(m_szArgGuid, kDelimiters) || !NextArg(m_szArgFilePrefix, kDelimiters) ||
            !NextArg(m_szArgCheckKey, kDelimiters) || !NextArg(m_szArgCheckKeyValue, kDelimiters) ||
            !NextArg(m_szArgDeviceSWRegKey, kDelimiters))
            return false;
        if (!ReadLogging())
            return false;
        break;

    case kMAddDS:
    case kMRemoveDS:
        if (!NextArg(m_szArgFilePrefix, kDelimiters))
        {
            if (m_bArgTooLong)
                return false;
            std::strcpy(m_szArgFilePrefix, "vrtk_");
            std::strcpy(m_szArgCheckKey, "DeviceData");
            std::strcpy(m_szArgCheckKeyValue, "InstallCLSID");
        }
        else if (NextArg(m_szArgCheckKey, kDelimiters) && NextArg(m_szArgCheckKeyValue, kDelimiters))
        {
            ReadLogging();
        }
        if (m_bArgTooLong || m_szArgFilePrefix[0] == '\0' || m_szArgCheckKey[0] == '\0' ||
            m_szArgCheckKeyValue[0] == '\0')
            return false;
        break;

    default:
        return false;
    }

    // The prefix becomes part of every data-source name: it must not lead
    // out of the twain_32 directory or widen the directory walk.
    if (!CDsNames::IsNamePart(m_szArgFilePrefix))
        return false;
    Dispatch(nFunction);
    // Whatever the function found or did, it ran: its outcome is in its log.
    return true;
}

void CTIRNFMain::Dispatch(int nFunction)
{
    if (nFunction == kAddDS || nFunction == kRemoveDS)
    {
        CModTwainDS job(m_szArgGuid, m_szArgFilePrefix, m_szArgCheckKey, m_szArgCheckKeyValue, m_szArgDeviceSWRegKey);
        job.AddTwainDS(nFunction == kAddDS, m_bLogging);
    }
    else
    {
        CModTwainDS job(m_szArgFilePrefix, m_szArgCheckKey, m_szArgCheckKeyValue);
        job.MAddTwainDS(nFunction == kMAddDS, m_bLogging);
    }
}
