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

    // Every byte, in as many writes as the system takes.
    bool WriteAll(const std::string& strBytes) const;
    bool GetSize(LONGLONG* pllSize) const;
};

#endif
