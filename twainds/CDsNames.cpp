#include "twainds/CDsNames.h"

#include "twainds/CUtils.h"

#include <mbctype.h>
#include <mbstring.h>

#include <cstring>

namespace
{
const char kGenericModule[] = "zbxgnds2";

// Windows opens these devices for a name whose part before the first dot,
// trailing blanks dropped, is one of them, in any case.
bool IsDeviceName(const char* szName)
{
    const char* szDot = std::strchr(szName, '.');
    if (szDot == NULL)
        return false;
    size_t cch = szDot - szName;
    while (cch > 0 && szName[cch - 1] == ' ')
        cch--;
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL"};
    for (const char* szDevice : kDevices)
    {
        if (cch == 3 && _strnicmp(szName, szDevice, 3) == 0)
            return true;
    }
    // Superscript digits count too in the Windows code page; 0 is reserved
    // as well, though no port bears it.
    return cch == 4 && (_strnicmp(szName, "COM", 3) == 0 || _strnicmp(szName, "LPT", 3) == 0) && szName[3] != '\0' &&
           std::strchr("0123456789\xB9\xB2\xB3", szName[3]) != NULL;
}
} // namespace

CDsNames::CDsNames(const char* szDsPrefix) : m_szDsPrefix(szDsPrefix)
{
    char szWindowsDir[MAX_PATH];
    UINT cch = GetWindowsDirectoryA(szWindowsDir, sizeof(szWindowsDir));
    m_dwWindowsDirError = cch == 0 ? GetLastError() : 0;
    m_szTwainDir[0] = '\0';
    // A directory that cannot be had, or leaves no room for "\twain_32",
    // gives no twain_32 directory.
    if (cch == 0 || cch >= sizeof(szWindowsDir))
        return;
    // The last character decides, not the last byte: under a double-byte
    // code page a trail byte may be 0x5C.
    const unsigned char* pStart = reinterpret_cast<const unsigned char*>(szWindowsDir);
    const unsigned char* pLast = _mbsdec(pStart, pStart + cch);
    const char* szSeparator = pLast != NULL && *pLast == '\\' && pLast + 1 == pStart + cch ? "" : "\\";
    CUtils::BuildPath(m_szTwainDir, sizeof(m_szTwainDir), {szWindowsDir, szSeparator, "twain_32"});
}

bool CDsNames::ForInstance(const char* instance, SPaths* pPaths) const
{
    return HasTwainDir() &&
           CUtils::BuildPath(pPaths->szTwainDir, sizeof(pPaths->szTwainDir),
                             {m_szTwainDir, "\\", m_szDsPrefix, instance}) &&
           CUtils::BuildPath(pPaths->szFileName, sizeof(pPaths->szFileName),
                             {pPaths->szTwainDir, "\\", m_szDsPrefix, instance}) &&
           CUtils::BuildPath(pPaths->szFileNameDs, sizeof(pPaths->szFileNameDs), {pPaths->szFileName, ".ds"}) &&
           CUtils::BuildPath(pPaths->szFileNameTmp, sizeof(pPaths->szFileNameTmp), {pPaths->szFileName, ".tmp"}) &&
           CUtils::BuildPath(pPaths->szFileNameGenericDs, sizeof(pPaths->szFileNameGenericDs),
                             {m_szTwainDir, "\\", kGenericModule});
}

bool CDsNames::SearchPattern(char* szPattern, size_t cbPattern) const
{
    return HasTwainDir() && CUtils::BuildPath(szPattern, cbPattern, {m_szTwainDir, "\\", m_szDsPrefix, "*"});
}

bool CDsNames::IsInstanceNumber(const char* instance)
{
    for (int i = 0; i < 4; i++)
    {
        if (instance[i] < '0' || instance[i] > '9')
            return false;
    }
    return instance[4] == '\0';
}

bool CDsNames::IsNamePart(const char* szName)
{
    if (std::strcmp(szName, ".") == 0 || std::strcmp(szName, "..") == 0 || IsDeviceName(szName))
        return false;

    const unsigned char* p = reinterpret_cast<const unsigned char*>(szName);
    while (*p)
    {
        if (_ismbblead(*p))
        {
            // A lead byte at the very end has no trail byte to step over.
            if (p[1] == '\0')
                return true;
            p += 2;
            continue;
        }
        if (std::strchr("\\/:*?\"<>|", *p) != NULL)
            return false;
        p++;
    }
    return true;
}
