#include "log/CLogTurn.h"

bool CLogTurn::Take(const std::wstring& wstrLockPath)
{
    DWORD dwStart = GetTickCount();
    for (;;)
    {
        m_Lock.Reset(CreateFileW(wstrLockPath.c_str(), GENERIC_READ | DELETE, 0, NULL, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, NULL));
        if (m_Lock.IsValid())
            return true;
        m_dwError = GetLastError();
        if (!HeldByAnotherRun(wstrLockPath, m_dwError))
            return false;
        if (GetTickCount() - dwStart >= kWaitMs)
        {
            m_bTimedOut = true;
            return false;
        }
        Sleep(kPollMs);
    }
}

bool CLogTurn::HeldByAnotherRun(const std::wstring& wstrLockPath, DWORD dwError)
{
    if (dwError == ERROR_SHARING_VIOLATION)
        return true;
    if (dwError != ERROR_ACCESS_DENIED)
        return false;
    // Access is denied for a moment to a lock file that is being deleted
    // (its attributes may be denied too) and while a run of another account
    // holds one; for good to a directory or a read-only file in its place,
    // and where no file can be made.
    DWORD dwAttributes = GetFileAttributesW(wstrLockPath.c_str());
    if (dwAttributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_ACCESS_DENIED;
    return (dwAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
}
