#include "log/CLogCut.h"

namespace
{
// The lines of a tail read as bytes, each ended again by CR LF. A Ctrl-Z in
// a logged value is copied like any byte.
std::string KeptLines(const std::string& strTail)
{
    std::string strKept;
    strKept.reserve(strTail.size() + 2);
    size_t pos = 0;
    while (pos < strTail.size())
    {
        size_t end = strTail.find('\n', pos);
        if (end == std::string::npos)
            end = strTail.size();
        size_t cch = end - pos;
        if (cch > 0 && strTail[end - 1] == '\r')
            cch--;
        strKept.append(strTail, pos, cch);
        strKept += "\r\n";
        pos = end + 1;
    }
    return strKept;
}
} // namespace

CLogCut::CLogCut(const std::wstring& wstrLogName, const std::wstring& wstrCopyName, LONGLONG llKept)
    : m_wstrLogName(wstrLogName), m_wstrCopyName(wstrCopyName), m_llKept(llKept)
{
}

void CLogCut::Cut(CFileHandle* pLogFile, LONGLONG llSize) const
{
    std::string strTail;
    if (!ReadTail(*pLogFile, llSize, &strTail))
        return;

    // Whatever stands under the copy's name, a link or a copy left behind,
    // goes first: the copy is always a file of its own.
    DeleteFileW(m_wstrCopyName.c_str());
    CFileHandle copy;
    if (!copy.OpenOwn(m_wstrCopyName, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL))
        return;
    // On the disk before it replaces the log, so that a power cut just after
    // the replace cannot leave an empty or short log.
    bool bCopied = copy.WriteAll(KeptLines(strTail)) && FlushFileBuffers(copy.Get());
    bCopied = copy.Close() && bCopied;

    // Lines that a writer without the turn added meanwhile would be lost.
    LONGLONG llSizeNow;
    bool bReplaced = bCopied && pLogFile->GetSize(&llSizeNow) && llSizeNow == llSize;
    if (bReplaced)
    {
        // An open handle on the log would keep it from being replaced.
        pLogFile->Close();
        bReplaced = MoveFileExW(m_wstrCopyName.c_str(), m_wstrLogName.c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    }
    if (!bReplaced)
        DeleteFileW(m_wstrCopyName.c_str());
}

bool CLogCut::ReadTail(const CFileHandle& logFile, LONGLONG llSize, std::string* pstrTail) const
{
    LARGE_INTEGER start;
    start.QuadPart = llSize - m_llKept;
    if (!SetFilePointerEx(logFile.Get(), start, NULL, FILE_BEGIN))
        return false;

    pstrTail->resize(static_cast<size_t>(m_llKept));
    size_t cbRead = 0;
    while (cbRead < pstrTail->size())
    {
        DWORD cb = 0;
        if (!ReadFile(logFile.Get(), &(*pstrTail)[cbRead], static_cast<DWORD>(pstrTail->size() - cbRead), &cb, NULL) ||
            cb == 0)
            return false;
        cbRead += cb;
    }
    return true;
}
