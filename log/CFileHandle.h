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
    // is a link (a name surrogate's reparse point, or one of several names
    // of one file) is taken over: that name is deleted through the handle
    // that was looked at, which leaves the file it leads to alone, and a
    // new file is made under it. A file that a file-system filter serves
    // through a reparse point of another kind (deduplicated, compressed,
    // a cloud placeholder) is the file itself: it is opened again through
    // the filter. False with the error of the failing call.
    bool OpenOwn(const std::wstring& wstrPath, DWORD dwAccess, DWORD dwShare, DWORD dwDisposition, DWORD dwFlags);
    // Every byte, in as many writes as the system takes.
    bool WriteAll(const std::string& strBytes) const;
    bool GetSize(LONGLONG* pllSize) const;
    // Deletes the file through this handle, which has DELETE access: the
    // name it was opened by goes when its last handle is closed.
    bool Delete() const;

private:
    enum class EKind
    {
        Own,    // a file of one name and no reparse point
        Link,   // leads elsewhere or is one of several names
        Served, // a filter's reparse point: the file itself
    };
    bool Open(const std::wstring& wstrPath, DWORD dwAccess, DWORD dwShare, DWORD dwDisposition, DWORD dwFlags);
    bool Inspect(BY_HANDLE_FILE_INFORMATION* pInfo, EKind* pKind) const;
    bool DeleteName(DWORD dwAccess) const;
    bool OpenServed(const std::wstring& wstrPath, DWORD dwAccess, DWORD dwShare, DWORD dwFlags,
                    const BY_HANDLE_FILE_INFORMATION& inspected);
    // Closes the handle, keeping the last error of the call that failed.
    bool Failed();
};

#endif
