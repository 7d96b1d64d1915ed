#include "log/CFileHandle.h"

bool CloseFileHandle(HANDLE hFile)
{
    return CloseHandle(hFile) != FALSE;
}
