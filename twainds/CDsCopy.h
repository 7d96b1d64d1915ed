#ifndef TIRN_TWAINDS_CDSCOPY_H
#define TIRN_TWAINDS_CDSCOPY_H

#include "log/CFileHandle.h"

// A copy of a file made under a name of its own and moved to its place only
// once it is whole and on the disk, in one step: an application that loads
// what stands at the place finds the file that was there before or the whole
// copy, never a part. A copy that fails at any step removes what it wrote;
// one that is never finished (a run ended mid-copy) leaves only the file of
// its own name, which the next copy overwrites.
class CDsCopy
{
public:
    CDsCopy(const char* szFrom, const char* szCopy) : m_szFrom(szFrom), m_szCopy(szCopy) {}
    // A file named by the system, in its own characters and at any length.
    CDsCopy(const wchar_t* szFrom, const char* szCopy) : m_szFromW(szFrom), m_szCopy(szCopy) {}
    virtual ~CDsCopy();

    CDsCopy(const CDsCopy&) = delete;
    CDsCopy& operator=(const CDsCopy&) = delete;

    // Opens the file to copy and makes the copy, empty; CREATE_NEW makes it
    // only where nothing stands.
    bool Open(DWORD dwCreation = CREATE_ALWAYS);
    // Writes every byte to the copy, flushes it and moves it to szTo,
    // replacing the file there, or only where nothing stands.
    bool MoveTo(const char* szTo, bool bReplace = true);
    // The code of the call that failed.
    DWORD Error() const { return m_dwError; }

private:
    bool Failed();
    bool WriteCopy();

    const char* m_szFrom = nullptr;
    const wchar_t* m_szFromW = nullptr;
    const char* m_szCopy;
    CFileHandle m_From;
    CFileHandle m_Copy;
    bool m_bMade = false;
    DWORD m_dwError = ERROR_SUCCESS;
};

#endif
