#ifndef TIRN_LOG_CLOGCUT_H
#define TIRN_LOG_CLOGCUT_H

#include "log/CFileHandle.h"

#include <string>

// The cut of a log that has grown too large: it keeps the lines of the
// log's last bytes, through a copy that replaces the log in one step. When any step fails, the old log stays
// whole and no copy is left behind.
class CLogCut
{
public:
    CLogCut(const std::wstring& wstrLogName, const std::wstring& wstrCopyName, LONGLONG llKept);
    virtual ~CLogCut() {}

    CLogCut(const CLogCut&) = delete;
    CLogCut& operator=(const CLogCut&) = delete;

    // pLogFile holds the log open, llSize bytes long. It is closed when the
    // copy replaces the log: the caller opens the log again.
    void Cut(CFileHandle* pLogFile, LONGLONG llSize) const;

private:
    bool ReadTail(const CFileHandle& logFile, LONGLONG llSize, std::string* pstrTail) const;

    std::wstring m_wstrLogName;
    std::wstring m_wstrCopyName;
    LONGLONG m_llKept;
};

#endif
