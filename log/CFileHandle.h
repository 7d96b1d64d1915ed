#ifndef TIRN_LOG_CFILEHANDLE_H
#define TIRN_LOG_CFILEHANDLE_H

#include "log/CHandleOwner.h"

#include <windows.h>

#include <string>

bool CloseFileHandle(HANDLE hFile);

// A file handle from CreateFile, which fails with INVALID_HANDLE_VALUE.
class CFileHandle : public CHandleOwner<HANDLE, CloseFileHandle, 0, -1>
{
public:
    using CHandleOwner::CHandleOwner;

    // Opens a file of the log's own in a directory that others may write
    // to, where a link may have been planted under its name. A name that
    // is a link (a reparse point, or one of several names of one file) is
    // taken over: it is deleted, which leaves the file it leads to alone,
    // and a new file is made under it. False with the error of the failing
    // call.
    bool OpenOwn(const std::wstring& wstrPath, DWORD dwAccess, DWORD dwShare, DWORD dwDisposition, DWORD dwFlags);
    // Every byte, in as many writes as the system takes.
    bool WriteAll(const std::string& strBytes) const;
    bool GetSize(LONGLONG* pllSize) const;

private:
    bool Open(const std::wstring& wstrPath, DWORD dwAccess, DWORD dwShare, DWORD dwDisposition, DWORD dwFlags);
};

#endif
