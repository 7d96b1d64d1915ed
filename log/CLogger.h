#ifndef TIRN_LOG_CLOGGER_H
#define TIRN_LOG_CLOGGER_H

#include "log/CCallerOutput.h"
#include "log/CFileHandle.h"
#include "log/CLogTurn.h"

#include <string>

// One section of a run log in the temp directory, opened at construction and
// closed by the destructor. Each complete line goes to the file in one write
// at the file's end, CR LF included, so that lines of other writers never cut
// into it. The same bytes go to the caller's standard output when the caller
// handed the program a pipe or a file.
class CLogger
{
public:
    static constexpr long kMaxLogSize = 51200;
    static constexpr int kMessageSize = 260;

    explicit CLogger(const char* szSuffix);
    virtual ~CLogger();

    CLogger(const CLogger&) = delete;
    CLogger& operator=(const CLogger&) = delete;

    bool Write(const char* szText);
    bool WriteLabel(const char* szLabel);
    bool WriteLine(const char* szText);
    bool WriteTimeStamp();
    int LogFormat(const char* szFormat, ...) __attribute__((format(gnu_printf, 2, 3)));

    // Between Hold and Release complete lines wait in memory, to go to the
    // file together at Release: for a stretch of lines made without a
    // platform call in between. The holder makes none, so the file holds
    // every line made before a call, as it does line by line.
    void Hold() { m_bHolding = true; }
    void Release();

    bool IsOpen() const { return m_LogFile.IsValid(); }

private:
    bool OpenLog();
    void LogWithoutTurn();
    // Ends the line being built and writes it.
    void EndLine();
    // Writes complete lines to the log and to the caller's output.
    void Emit(const std::string& strLines);

    std::wstring m_wstrFileName;
    CLogTurn m_Turn;
    CFileHandle m_LogFile;
    CCallerOutput m_CallerOutput;
    // Write and WriteLabel add to the line; it reaches the file whole.
    std::string m_strLine;
    bool m_bHolding;
    std::string m_strHeld;
};

#endif
