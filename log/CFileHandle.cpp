#include "log/CFileHandle.h"

CFileHandle::~CFileHandle()
{
    Close();
}

void CFileHandle::Reset(HANDLE hFile)
{
    Close();
    m_hFile = hFile;
}

bool CFileHandle::Close()
{
    bool bClosed = IsValid() && CloseHandle(m_hFile) != FALSE;
    m_hFile = INVALID_HANDLE_VALUE;
    return bClosed;
}
