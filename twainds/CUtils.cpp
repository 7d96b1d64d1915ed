#include "twainds/CUtils.h"

#include <windows.h>

#include <mbctype.h>

#include <cstring>

bool CUtils::PathExists(const char* szPath)
{
    // An attribute query finds files and directories alike, as a search for
    // the name without a wildcard would, and opens nothing. Only "not there"
    // is taken for absent: after any other failure the step that asked is
    // tried, and its own failure is logged if there was nothing.
    if (GetFileAttributesA(szPath) != INVALID_FILE_ATTRIBUTES)
        return true;
    DWORD dwError = GetLastError();
    return dwError != ERROR_FILE_NOT_FOUND && dwError != ERROR_PATH_NOT_FOUND && dwError != ERROR_INVALID_NAME;
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
