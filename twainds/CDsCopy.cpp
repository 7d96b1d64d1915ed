#include "twainds/CDsCopy.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace
{
const DWORD kChunk = 65536;
// What a copy by CopyFile carries over of the attributes.
const DWORD kCopiedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY |
                                FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The path as the file calls of the ANSI code page read it.
bool Widen(const char* szPath, std::wstring* pwstrPath)
{
    // No more characters than bytes.
    pwstrPath->assign(std::strlen(szPath) + 1, L'\0');
    int cch = MultiByteToWideChar(CP_ACP, 0, szPath, -1, &(*pwstrPath)[0], static_cast<int>(pwstrPath->size()));
    if (cch == 0)
        return false;
    pwstrPath->resize(cch - 1);
    return true;
}

// A drive's or a share's path in the form that the wide file calls take at
// any length: the copy's name is longer than the names it stands beside, and
// the exe's directory may be longer than MAX_PATH - 1.
void MakeLong(std::wstring* pwstrPath)
{
    const std::wstring& wstrPath = *pwstrPath;
    if (wstrPath.compare(0, 4, L"\\\\?\\") == 0 || wstrPath.compare(0, 4, L"\\\\.\\") == 0)
        return;
    if (wstrPath.size() > 2 && wstrPath[1] == L':' && wstrPath[2] == L'\\')
        pwstrPath->insert(0, L"\\\\?\\");
    else if (wstrPath.compare(0, 2, L"\\\\") == 0)
        pwstrPath->replace(0, 1, L"\\\\?\\UNC");
}

bool LongPath(const std::string& strPath, std::wstring* pwstrPath)
{
    if (!Widen(strPath.c_str(), pwstrPath))
        return false;
    MakeLong(pwstrPath);
    return true;
}

// Attributes and times of zero are left as they are.
bool SetBasics(HANDLE hFile, DWORD dwAttributes, const FILETIME* pLastWrite)
{
    FILE_BASIC_INFO basic = {};
    basic.FileAttributes = dwAttributes;
    if (pLastWrite != NULL)
    {
        basic.LastWriteTime.LowPart = pLastWrite->dwLowDateTime;
        basic.LastWriteTime.HighPart = static_cast<LONG>(pLastWrite->dwHighDateTime);
    }
    return SetFileInformationByHandle(hFile, FileBasicInfo, &basic, sizeof(basic)) != FALSE;
}
} // namespace

CDsCopy::~CDsCopy()
{
    // A copy that was not moved is deleted through its handle; a read-only
    // file cannot be deleted.
    if (m_Copy.IsValid())
    {
        SetBasics(m_Copy.Get(), FILE_ATTRIBUTE_NORMAL, NULL);
        m_Copy.Delete();
    }
}

bool CDsCopy::Failed()
{
    m_dwError = GetLastError();
    return false;
}

bool CDsCopy::Open()
{
    static unsigned s_nCopies = 0;
    if (m_strCopy.empty())
    {
        char szRun[24];
        std::snprintf(szRun, sizeof(szRun), ".%lu-%u.tmp", static_cast<unsigned long>(GetCurrentProcessId()),
                      ++s_nCopies);
        m_strCopy = std::string(m_szBeside) + szRun;
    }
    std::wstring wstrFrom;
    std::wstring wstrCopy;
    if (m_szFromW != nullptr)
        wstrFrom = m_szFromW;
    if ((m_szFromW == nullptr && !Widen(m_szFrom, &wstrFrom)) || !LongPath(m_strCopy, &wstrCopy))
        return Failed();
    MakeLong(&wstrFrom);
    m_From.Reset(CreateFileW(wstrFrom.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, NULL));
    if (!m_From.IsValid())
        return Failed();
    // CREATE_NEW makes a new file or fails: it never opens what stands at
    // the name. Without sharing, no other run can open, delete or move it.
    m_Copy.Reset(CreateFileW(wstrCopy.c_str(), GENERIC_WRITE | DELETE, 0, NULL, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, NULL));
    if (!m_Copy.IsValid())
        return Failed();
    return true;
}

bool CDsCopy::WriteCopy()
{
    std::string strChunk;
    for (;;)
    {
        strChunk.resize(kChunk);
        DWORD cbRead = 0;
        if (!ReadFile(m_From.Get(), &strChunk[0], kChunk, &cbRead, NULL))
            return false;
        if (cbRead == 0)
            return true;
        strChunk.resize(cbRead);
        if (!m_Copy.WriteAll(strChunk))
            return false;
    }
}

bool CDsCopy::CopyAttributes()
{
    BY_HANDLE_FILE_INFORMATION from;
    if (!GetFileInformationByHandle(m_From.Get(), &from))
        return false;
    DWORD dwAttributes = from.dwFileAttributes & kCopiedAttributes;
    return SetBasics(m_Copy.Get(), dwAttributes != 0 ? dwAttributes : FILE_ATTRIBUTE_NORMAL, &from.ftLastWriteTime);
}

bool CDsCopy::Rename(const char* szTo, bool bReplace)
{
    std::wstring wstrTo;
    if (!Widen(szTo, &wstrTo))
        return false;
    // FILE_RENAME_INFO ends in the name; LONGLONGs keep it aligned.
    size_t cbName = wstrTo.size() * sizeof(wchar_t);
    std::vector<LONGLONG> info((sizeof(FILE_RENAME_INFO) + cbName) / sizeof(LONGLONG) + 1);
    FILE_RENAME_INFO* pRename = reinterpret_cast<FILE_RENAME_INFO*>(info.data());
    pRename->ReplaceIfExists = bReplace ? TRUE : FALSE;
    pRename->RootDirectory = NULL;
    pRename->FileNameLength = static_cast<DWORD>(cbName);
    std::memcpy(pRename->FileName, wstrTo.c_str(), cbName + sizeof(wchar_t));
    return SetFileInformationByHandle(m_Copy.Get(), FileRenameInfo, pRename,
                                      static_cast<DWORD>(info.size() * sizeof(LONGLONG))) != FALSE;
}

bool CDsCopy::MoveTo(const char* szTo, bool bReplace)
{
    // On the disk before it takes the place, so that a power cut just after
    // the move cannot leave a short data source under the name. Moved
    // through its handle, which no other run could share.
    if (!WriteCopy() || !CopyAttributes() || !FlushFileBuffers(m_Copy.Get()) || !Rename(szTo, bReplace))
        return Failed();
    // Moved: the data source is no longer the copy's to delete.
    m_Copy.Close();
    m_From.Close();
    return true;
}

bool CDsCopy::RemoveLeftover(const char* szDir, const char* szName, const char** pszCall, DWORD* pdwError)
{
    *pszCall = "CreateFile";
    std::wstring wstrPath;
    // A run holds its copy without delete sharing: this open fails then.
    CFileHandle leftover;
    bool bRemoved = LongPath(std::string(szDir) + "\\" + szName, &wstrPath);
    if (bRemoved)
    {
        leftover.Reset(CreateFileW(wstrPath.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                                   FILE_FLAG_OPEN_REPARSE_POINT, NULL));
        bRemoved = leftover.IsValid();
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (bRemoved)
    {
        *pszCall = "GetFileInformationByHandle";
        bRemoved = GetFileInformationByHandle(leftover.Get(), &info) != FALSE;
    }
    // The read-only attribute of a run's copy is reset, never that of a
    // file which a name planted there leads to.
    if (bRemoved && (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 && info.nNumberOfLinks == 1 &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
    {
        *pszCall = "SetFileInformationByHandle";
        bRemoved = SetBasics(leftover.Get(), FILE_ATTRIBUTE_NORMAL, NULL);
    }
    if (bRemoved)
    {
        *pszCall = "SetFileInformationByHandle";
        bRemoved = leftover.Delete();
    }
    *pdwError = bRemoved ? ERROR_SUCCESS : GetLastError();
    return bRemoved;
}
