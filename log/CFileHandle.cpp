#include "log/CFileHandle.h"

bool CloseFileHandle(HANDLE hFile)
{
    return CloseHandle(hFile) != FALSE;
}

bool CFileHandle::Open(const std::wstring& wstrPath, DWORD dwAccess, DWORD dwShare, DWORD dwDisposition, DWORD dwFlags)
{
    Reset(CreateFileW(wstrPath.c_str(), dwAccess, dwShare, NULL, dwDisposition, dwFlags | FILE_FLAG_OPEN_REPARSE_POINT,
                      NULL));
    return IsValid();
}

bool CFileHandle::OpenOwn(const std::wstring& wstrPath, DWORD dwAccess, DWORD dwShare, DWORD dwDisposition,
                          DWORD dwFlags)
{
    // Neither OPEN_ALWAYS nor the check that follows writes to the file a
    // link leads to; CREATE_ALWAYS would empty it before the check.
    if (!Open(wstrPath, dwAccess, dwShare, dwDisposition, dwFlags))
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(Get(), &info))
    {
        DWORD dwError = GetLastError();
        Close();
        SetLastError(dwError);
        return false;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && info.nNumberOfLinks <= 1)
        return true;

    // A file opened to be deleted on close loses its name here already.
    Close();
    if (!DeleteFileW(wstrPath.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
        return false;
    // CREATE_NEW opens nothing that was planted again meanwhile.
    return Open(wstrPath, dwAccess, dwShare, CREATE_NEW, dwFlags);
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
