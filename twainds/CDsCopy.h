#ifndef TIRN_TWAINDS_CDSCOPY_H
#define TIRN_TWAINDS_CDSCOPY_H

#include "log/CFileHandle.h"

#include <string>

// A copy of a file made under a name of the run's own and moved to its place
// only once it is whole and on the disk, in one step: an application that
// loads what stands at the place finds the file that was there before or the
// whole copy, never a part. The copy is a new file, never what stood at its
// name (a link planted there included), and it is held without delete
// sharing until its move, so no other run can delete, replace or move it. A
// copy that fails at any step removes what it wrote; one that is never
// finished (a run ended mid-copy) leaves only the file of its own name, which
// a later run removes (RemoveLeftover).
class CDsCopy
{
public:
    // The copy is named beside szBeside: <szBeside>.<run>.tmp, where <run>
    // is the process id, unique among the runs that live, and a count of the
    // process's copies. It may be longer than MAX_PATH - 1.
    CDsCopy(const char* szFrom, const char* szBeside) : m_szFrom(szFrom), m_szBeside(szBeside) {}
    // A file named by the system, in its own characters and at any length.
    CDsCopy(const wchar_t* szFrom, const char* szBeside) : m_szFromW(szFrom), m_szBeside(szBeside) {}
    virtual ~CDsCopy();

    CDsCopy(const CDsCopy&) = delete;
    CDsCopy& operator=(const CDsCopy&) = delete;

    // Opens the file to copy and makes the copy, empty.
    bool Open();
    // Writes every byte to the copy, gives it the attributes and last-write
    // time of the file copied, as CopyFile does, flushes it and moves it to
    // szTo, replacing the file there, or only where nothing stands.
    bool MoveTo(const char* szTo, bool bReplace = true);
    // The code of the call that failed.
    DWORD Error() const { return m_dwError; }

    // Removes a copy named szName in szDir that a run ended mid-copy left,
    // unless a run that lives holds it. False when it stays, with the call
    // that failed and its code; ERROR_SHARING_VIOLATION for a copy that a
    // run holds.
    static bool RemoveLeftover(const char* szDir, const char* szName, const char** pszCall, DWORD* pdwError);

private:
    bool Failed();
    bool WriteCopy();
    bool CopyAttributes();
    bool Rename(const char* szTo, bool bReplace);

    const char* m_szFrom = nullptr;
    const wchar_t* m_szFromW = nullptr;
    const char* m_szBeside;
    std::string m_strCopy;
    CFileHandle m_From;
    CFileHandle m_Copy;
    DWORD m_dwError = ERROR_SUCCESS;
};

#endif
