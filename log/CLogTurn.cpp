#include "log/CLogTurn.h"

bool CLogTurn::Take(const std::wstring& wstrLockPath)
{
    DWORD dwStart = GetTickCount();
    int nGone = 0;
    for (;;)
    {
        if (m_Lock.OpenOwn(wstrLockPath, GENERIC_READ | DELETE, 0, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE))
            return true;
        m_dwError = GetLastError();
        ELockState state = LockState(wstrLockPath, m_dwError);
        // A lock file gone by the time it is looked at was another run's,
        // deleted as that run gave up its turn; a run held up between its
        // look and its next try can meet the locks of several runs in a row
        // so. Only when every try ends the same way can no file be made here.
        nGone = state == ELockState::Gone ? nGone + 1 : 0;
        if (nGone > 0 && nGone < kGoneTries)
        {
            if (nGone > 1)
                Sleep(kPollMs);
            continue;
        }
        if (state != ELockState::Held)
            return false;
        if (GetTickCount() - dwStart >= kWaitMs)
        {
            m_bTimedOut = true;
            return false;
        }
        Sleep(kPollMs);
    }
}

CLogTurn::ELockState CLogTurn::LockState(const std::wstring& wstrLockPath, DWORD dwError)
{
    // A lock file that exists where a planted link's name was just taken
    // over was made by another run in the meantime.
    if (dwError == ERROR_SHARING_VIOLATION || dwError == ERROR_FILE_EXISTS)
        return ELockState::Held;
    if (dwError != ERROR_ACCESS_DENIED)
        return ELockState::Unusable;
    // Access is denied for a moment to a lock file that is being deleted
    // (its attributes may be denied too) and while a run of another account
    // holds one; for good to a directory or a read-only file in its place,
    // and where no file can be made.
    DWORD dwAttributes = GetFileAttributesW(wstrLockPath.c_str());
    if (dwAttributes == INVALID_FILE_ATTRIBUTES)
    {
        DWORD dwAttributesError = GetLastError();
        if (dwAttributesError == ERROR_FILE_NOT_FOUND)
            return ELockState::Gone;
        return dwAttributesError == ERROR_ACCESS_DENIED ? ELockState::Held : ELockState::Unusable;
    }
    return (dwAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0 ? ELockState::Held
                                                                                      : ELockState::Unusable;
}
