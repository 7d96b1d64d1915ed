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

bool CUtils::IsNamePart(const char* szName)
{
    if (std::strcmp(szName, ".") == 0 || std::strcmp(szName, "..") == 0)
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
