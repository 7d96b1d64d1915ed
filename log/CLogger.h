#ifndef TIRN_LOG_CLOGGER_H
#define TIRN_LOG_CLOGGER_H

#include <fstream>
#include <string>

// One section of a run log in the temp directory, opened at construction and
// closed by the destructor.
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

    bool IsOpen() const { return m_LogFile.is_open(); }

private:
    void CutLog();

    std::fstream m_LogFile;
    std::string m_strFileName;
};

#endif
