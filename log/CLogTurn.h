#ifndef TIRN_LOG_CLOGTURN_H
#define TIRN_LOG_CLOGTURN_H

#include "log/CFileHandle.h"

#include <string>

// One run's turn at a log file. Runs that write the same log take turns, so
// that their sections never interleave and a cut never replaces a file that
// another run is writing to.
//
// The turn is a lock file beside the log, opened without sharing and deleted
// when it is closed. Being in the log's own directory, it serves every run
// that can write the log, elevated or not; and a run that dies gives up its
// turn with its handles.
class CLogTurn
{
public:
    // Long enough for a dozen runs queued at once, short enough that no
    // installer is held for long.
    static constexpr DWORD kWaitMs = 30000;
    static constexpr DWORD kPollMs = 10;
    // Tries in a row that find the lock file gone once denied.
    static constexpr int kGoneTries = 4;

    CLogTurn() : m_dwError(ERROR_SUCCESS), m_bTimedOut(false) {}
    virtual ~CLogTurn() {}

    CLogTurn(const CLogTurn&) = delete;
    CLogTurn& operator=(const CLogTurn&) = delete;

    // Waits for the turn at most kWaitMs, and only while another run has
    // it; true when it was had.
    bool Take(const std::wstring& wstrLockPath);
    void Release() { m_Lock.Close(); }

    bool Has() const { return m_Lock.IsValid(); }
    // Why the turn was not had: the wait ran out, or the lock file cannot be
    // had at all; and the last error of its open.
    bool TimedOut() const { return m_bTimedOut; }
    DWORD Error() const { return m_dwError; }

private:
    // What stands at the lock path when it could not be opened with dwError.
    enum class ELockState
    {
        Held,     // another run has the turn: wait
        Gone,     // deleted just now: try again at once
        Unusable, // no run can have a turn here
    };
    static ELockState LockState(const std::wstring& wstrLockPath, DWORD dwError);

    CFileHandle m_Lock;
    DWORD m_dwError;
    bool m_bTimedOut;
};

#endif
