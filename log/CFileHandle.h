#ifndef TIRN_LOG_CFILEHANDLE_H
#define TIRN_LOG_CFILEHANDLE_H

#include "log/CHandleOwner.h"

#include <windows.h>

bool CloseFileHandle(HANDLE hFile);

// A file handle from CreateFile, which fails with INVALID_HANDLE_VALUE.
using CFileHandle = CHandleOwner<HANDLE, CloseFileHandle, 0, -1>;

#endif
