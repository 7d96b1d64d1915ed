#include "log/CFileHandle.h"

bool CloseFileHandle(HANDLE hFile)
{
    return CloseHandle(hFile) != FALSE;
}

bool CFileHandle::Open(const std::wstring& wstrPath, DWORD dwAccess, DWORD dwShare, DWORD dwDisposition, DWORD dwFlags)
{
    Reset(CreateFileW(wstrPath.c_str(), dwAccess, dwShare, NULL, dwDisposition, dwFlags, NULL));
    return IsValid();
}

bool CFileHandle::Failed()
{
    DWORD dwError = GetLastError();
    Close();
    SetLastError(dwError);
    return false;
}

bool CFileHandle::OpenOwn(const std::wstring& wstrPath, DWORD dwAccess, DWORD dwShare, DWORD dwDisposition,
                          DWORD dwFlags)
{
    // Neither OPEN_ALWAYS nor the check that follows writes to the file a
    // link leads to; CREATE_ALWAYS would empty it before the check.
    if (!Open(wstrPath, dwAccess, dwShare, dwDisposition, dwFlags | FILE_FLAG_OPEN_REPARSE_POINT))
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    EKind kind;
    if (!Inspect(&info, &kind))
        return Failed();
    if (kind == EKind::Own)
        return true;
    if (kind == EKind::Served)
        return OpenServed(wstrPath, dwAccess, dwShare, dwFlags, info);

    // Through the handle looked at: a file that another run made under the
    // name meanwhile is not the one deleted.
    if (!DeleteName(dwAccess))
        return Failed();
    Close();
    // CREATE_NEW opens nothing that was planted again meanwhile.
    return Open(wstrPath, dwAccess, dwShare, CREATE_NEW, dwFlags | FILE_FLAG_OPEN_REPARSE_POINT);
}

bool CFileHandle::Inspect(BY_HANDLE_FILE_INFORMATION* pInfo, EKind* pKind) const
{
    if (!GetFileInformationByHandle(Get(), pInfo))
        return false;
    *pKind = pInfo->nNumberOfLinks > 1 ? EKind::Link : EKind::Own;
    if ((pInfo->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 || *pKind == EKind::Link)
        return true;
    // Only a name surrogate (a symbolic link, a junction) leads to another
    // name; the other tags mark files that a filter serves.
    FILE_ATTRIBUTE_TAG_INFO tag;
    if (!GetFileInformationByHandleEx(Get(), FileAttributeTagInfo, &tag, sizeof(tag)))
        return false;
    *pKind = IsReparseTagNameSurrogate(tag.ReparseTag) ? EKind::Link : EKind::Served;
    return true;
}

bool CFileHandle::DeleteName(DWORD dwAccess) const
{
    if (dwAccess & DELETE)
        return Delete();
    // The same file, opened again for deleting; the log's own handle asks
    // for no DELETE access, which would keep out readers that do not share
    // deletion.
    CFileHandle deleter(
        ReOpenFile(Get(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_FLAG_OPEN_REPARSE_POINT));
    return deleter.IsValid() && deleter.Delete();
}

bool CFileHandle::OpenServed(const std::wstring& wstrPath, DWORD dwAccess, DWORD dwShare, DWORD dwFlags,
                             const BY_HANDLE_FILE_INFORMATION& inspected)
{
    // Written without the filter, such a file would be damaged. The open
    // follows the name: it must find the file that was looked at.
    Close();
    if (!Open(wstrPath, dwAccess, dwShare, OPEN_EXISTING, dwFlags))
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(Get(), &info))
        return Failed();
    if (info.dwVolumeSerialNumber == inspected.dwVolumeSerialNumber &&
        info.nFileIndexHigh == inspected.nFileIndexHigh && info.nFileIndexLow == inspected.nFileIndexLow)
        return true;
    // Another file under the name since the look: it is left alone, as one
    // that another process holds would be.
    Close();
    SetLastError(ERROR_SHARING_VIOLATION);
    return false;
}

bool CFileHandle::Delete() const
{
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(Get(), FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}

bool CFileHandle::WriteAll(const std::string& strBytes) const
{
    const char* p = strBytes.data();
    size_t cbLeft = strBytes.size();
    while (cbLeft > 0)
    {
        DWORD cbWritten = 0;
        if (!WriteFile(Get(), p, static_cast<DWORD>(cbLeft), &cbWritten, NULL))
            return false;
        // A write that took nothing would repeat for ever; it failed, and the
        // last error is no answer of its.
        if (cbWritten == 0)
        {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
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
