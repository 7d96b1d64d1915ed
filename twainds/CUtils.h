#ifndef TIRN_TWAINDS_CUTILS_H
#define TIRN_TWAINDS_CUTILS_H

#include <cstddef>
#include <initializer_list>
#include <string>

// Stateless file and name helpers of the data-source job.
class CUtils
{
public:
    virtual ~CUtils() {}

    bool PathExists(const std::string& strPath);

    // Joins the parts into dest; false, with dest empty, when they would not
    // fit in destSize bytes with the terminator.
    static bool BuildPath(char* dest, size_t destSize, std::initializer_list<const char*> parts);

    // True when szName can stand in one file name below twain_32 without
    // leaving it: none of \ / : * ? " < > | and not "." or "..", nor a name
    // that Windows takes for a device once a dot follows ("NUL.", "com1.").
    // Double-byte characters are stepped over whole.
    static bool IsNamePart(const char* szName);

    // Whether szText holds szPart, found only where a character starts: not
    // every runtime's _mbsstr steps over double-byte characters whole.
    static bool ContainsText(const char* szText, const char* szPart);

    // Every per-device name is built from an instance number: exactly four
    // decimal digits, so that no prefix and number together can name a
    // device, another device's files, or a place that Windows shortens.
    static bool IsInstanceNumber(const char* szInstance);
};

#endif
