#include "twainds/CUtils.h"

#include <io.h>
#include <mbstring.h>

#include <cstring>

bool CUtils::PathExists(const std::string& strPath)
{
    struct _finddata64i32_t findData;
    intptr_t hFind = _findfirst64i32(strPath.c_str(), &findData);
    if (hFind == -1)
        return false;
    _findclose(hFind);
    return true;
}

bool CUtils::BuildPath(char* dest, size_t destSize, std::initializer_list<const char*> parts)
{
    size_t cch = 0;
    for (const char* szPart : parts)
        cch += std::strlen(szPart);
    dest[0] = '\0';
    if (cch >= destSize)
        return false;

    char* pEnd = dest;
    for (const char* szPart : parts)
    {
        size_t cchPart = std::strlen(szPart);
        std::memcpy(pEnd, szPart, cchPart);
        pEnd += cchPart;
    }
    *pEnd = '\0';
    return true;
}

namespace
{
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
    // Superscript digits count too in the Windows code page.
    return cch == 4 && (_strnicmp(szName, "COM", 3) == 0 || _strnicmp(szName, "LPT", 3) == 0) &&
           szName[3] != '\0' && std::strchr("123456789\xB9\xB2\xB3", szName[3]) != NULL;
}
}

bool CUtils::IsNamePart(const char* szName)
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

bool CUtils::IsInstanceNumber(const char* szInstance)
{
    for (int i = 0; i < 4; i++)
    {
        if (szInstance[i] < '0' || szInstance[i] > '9')
            return false;
    }
    return szInstance[4] == '\0';
}

bool CUtils::ContainsText(const char* szText, const char* szPart)
{
    size_t cchPart = std::strlen(szPart);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(szText);
    for (;;)
    {
        if (std::strncmp(reinterpret_cast<const char*>(p), szPart, cchPart) == 0)
            return true;
        if (*p == '\0')
            return false;
        p += _ismbblead(*p) && p[1] != '\0' ? 2 : 1;
    }
}
