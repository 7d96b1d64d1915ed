#include "twainds/CDsCopy.h"

#include <string>

namespace
{
const DWORD kChunk = 65536;
}

CDsCopy::~CDsCopy()
{
    // Closed first: a file open without sharing cannot be deleted.
    m_Copy.Close();
    if (m_bMade)
        DeleteFileA(m_szCopy);
}

bool CDsCopy::Failed()
{
    m_dwError = GetLastError();
    return false;
}

bool CDsCopy::Open(DWORD dwCreation)
{
    m_From.Reset(m_szFromW != nullptr ? CreateFileW(m_szFromW, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                                    FILE_FLAG_SEQUENTIAL_SCAN, NULL)
                                      : CreateFileA(m_szFrom, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                                    FILE_FLAG_SEQUENTIAL_SCAN, NULL));
    if (!m_From.IsValid())
        return Failed();
    m_Copy.Reset(CreateFileA(m_szCopy, GENERIC_WRITE, 0, NULL, dwCreation, FILE_ATTRIBUTE_NORMAL, NULL));
    if (!m_Copy.IsValid())
        return Failed();
    m_bMade = true;
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

bool CDsCopy::MoveTo(const char* szTo, bool bReplace)
{
    // On the disk before it takes the place, so that a power cut just after
    // the move cannot leave a short data source under the name.
    if (!WriteCopy() || !FlushFileBuffers(m_Copy.Get()) || !m_Copy.Close())
        return Failed();
    m_From.Close();
    if (!MoveFileExA(m_szCopy, szTo, (bReplace ? MOVEFILE_REPLACE_EXISTING : 0) | MOVEFILE_WRITE_THROUGH))
        return Failed();
    m_bMade = false;
    return true;
}
