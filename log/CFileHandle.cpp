#include "log/CFileHandle.h"

bool CloseFileHandle(HANDLE hFile)
{
    return CloseHandle(hFile) != FALSE;
}

bool CFileHandle::WriteAll(const std::string& strBytes) const
{
    const char* p = strBytes.data();
    size_t cbLeft = strBytes.size();
    while (cbLeft > 0)
    {
        DWORD cbWritten = 0;
        if (!WriteFile(Get(), p, static_cast<DWORD>(cbLeft), &cbWritten, NULL) || cbWritten == 0)
            return false;
        p += cbWritten;
        cbLeft -= cbWritten;
    }
    return true;
}

bool CFileHandle::GetSize(LONGLONG* pllSize) const
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(Get(), &size))
        return false;
    *pllSize = size.QuadPart;
    return true;
}
