#ifndef TIRN_TWAINDS_CUTILS_H
#define TIRN_TWAINDS_CUTILS_H

#include <cstddef>
#include <initializer_list>
#include <string>

// Stateless file and text helpers of the data-source job.
class CUtils
{
public:
    virtual ~CUtils() {}

    // Whether a file or directory stands at the path, as passed; true also
    // when the platform could not tell.
    bool PathExists(const char* szPath);

    // Joins the parts into dest; false, with dest empty, when they would not
    // fit in destSize bytes with the terminator.
    static bool BuildPath(char* dest, size_t destSize, std::initializer_list<const char*> parts);

    // Whether szText holds szPart, found only where a character starts: not
    // every runtime's _mbsstr steps over double-byte characters whole.
    static bool ContainsText(const char* szText, const char* szPart);
};

#endif
