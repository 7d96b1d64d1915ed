#include "log/CLogTurn.h"

bool CLogTurn::Take(const std::string& strLockPath)
{
    DWORD dwStart = GetTickCount();
    for (;;)
    {
        m_Lock.Reset(CreateFileA(strLockPath.c_str(), GENERIC_READ | DELETE, 0, NULL, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, NULL));
        if (m_Lock.IsValid())
            return true;
        m_dwError = GetLastError();
        // Held by another run; a lock file that is being deleted denies
        // access for a moment.
        if (m_dwError != ERROR_SHARING_VIOLATION && m_dwError != ERROR_ACCESS_DENIED)
            return false;
        if (GetTickCount() - dwStart >= kWaitMs)
        {
            m_bTimedOut = true;
            return false;
        }
        Sleep(kPollMs);
    }
}
