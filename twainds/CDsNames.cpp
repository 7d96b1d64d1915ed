#include "twainds/CDsNames.h"

#include "twainds/CUtils.h"

#include <mbctype.h>
#include <mbstring.h>

#include <cstring>
#include <cwchar>

namespace
{
const char kGenericModule[] = "zbxgnds2";

bool IsLetter(wchar_t ch, char chUpper)
{
    return ch == static_cast<wchar_t>(chUpper) || ch == static_cast<wchar_t>(chUpper + ('a' - 'A'));
}

bool StartsWith(const wchar_t* wszName, const char* szUpper)
{
    for (; *szUpper != '\0'; ++wszName, ++szUpper)
    {
        if (!IsLetter(*wszName, *szUpper))
            return false;
    }
    return true;
}

// Windows opens these devices for a name whose part before the first dot,
// trailing blanks dropped, is one of them, in any case. It compares
// characters, not bytes: the name is read in the ANSI code page, as the
// file calls read it. A name that cannot be read counts as a device's.
bool IsDeviceName(const char* szName)
{
    wchar_t wszName[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, szName, -1, wszName, MAX_PATH) == 0)
        return true;
    const wchar_t* pDot = std::wcschr(wszName, L'.');
    if (pDot == NULL)
        return false;
    size_t cch = pDot - wszName;
    while (cch > 0 && wszName[cch - 1] == L' ')
        cch--;
    for (const char* szDevice : {"CON", "PRN", "AUX", "NUL"})
    {
        if (cch == 3 && StartsWith(wszName, szDevice))
            return true;
    }
    // The superscript digits count too; 0 is reserved as well, though no
    // port bears it.
    return cch == 4 && (StartsWith(wszName, "COM") || StartsWith(wszName, "LPT")) && wszName[3] != L'\0' &&
           std::wcschr(L"0123456789\u00B9\u00B2\u00B3", wszName[3]) != NULL;
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
           CUtils::BuildPath(pPaths->szFileNameGenericDs, sizeof(pPaths->szFileNameGenericDs),
                             {m_szTwainDir, "\\", kGenericModule});
}

bool CDsNames::SearchPattern(char* szPattern, size_t cbPattern) const
{
    return HasTwainDir() && CUtils::BuildPath(szPattern, cbPattern, {m_szTwainDir, "\\", m_szDsPrefix, "*"});
}

bool CDsNames::IsCopyName(const char* instance, const char* szEntry) const
{
    char szBase[MAX_PATH];
    if (!CUtils::BuildPath(szBase, sizeof(szBase), {m_szDsPrefix, instance, "."}))
        return false;
    // In either letter case, as the directory's names are compared.
    size_t cchBase = std::strlen(szBase);
    if (_mbsnbicmp(reinterpret_cast<const unsigned char*>(szEntry), reinterpret_cast<const unsigned char*>(szBase),
                   cchBase) != 0)
        return false;
    const char* szRest = szEntry + cchBase;
    size_t cchRun = std::strspn(szRest, "0123456789-");
    return _stricmp(szRest + cchRun, cchRun == 0 ? "tmp" : ".tmp") == 0;
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
