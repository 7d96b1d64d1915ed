#include "log/CLogger.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <ctime>

CLogger::CLogger(const char* szSuffix)
{
    char szTempDir[MAX_PATH];
    DWORD cch = GetTempPathA(sizeof(szTempDir), szTempDir);
    // No temp directory, or one that did not fit: the run goes on unlogged.
    if (cch == 0 || cch >= sizeof(szTempDir))
        return;

    m_strFileName = std::string(szTempDir) + szSuffix;
    m_LogFile.open(m_strFileName, std::ios::in | std::ios::out | std::ios::app);
    if (!m_LogFile.is_open())
        return;

    m_LogFile.seekg(0, std::ios::end);
    long long llSize = m_LogFile.fail() ? -1 : static_cast<long long>(m_LogFile.tellg());
    if (llSize > kMaxLogSize)
        CutLog();

    WriteTimeStamp();
    WriteLine("Start Log");
}

CLogger::~CLogger()
{
    WriteTimeStamp();
    WriteLine("End Log");
    WriteLine("");
    m_LogFile.close();
}

// Keeps the lines of the last kMaxLogSize bytes. The copy is written first
// and then replaces the log in one step, so a failure anywhere leaves the old
// log whole.
void CLogger::CutLog()
{
    m_LogFile.close();

    std::string strCopyName = m_strFileName.substr(0, m_strFileName.size() - 4) + "2.log";
    bool bCopied = false;
    {
        std::ofstream copy(strCopyName, std::ios::out | std::ios::trunc);
        // Read as bytes: in text mode a Ctrl-Z in a logged value would end
        // the copy early. The CR of each CR LF is taken off by hand instead.
        std::ifstream log(m_strFileName, std::ios::in | std::ios::binary);
        if (copy.is_open() && log.is_open())
        {
            log.seekg(-kMaxLogSize, std::ios::end);
            std::string strLine;
            while (std::getline(log, strLine))
            {
                if (!strLine.empty() && strLine.back() == '\r')
                    strLine.pop_back();
                copy << strLine << '\n';
                copy.flush();
            }
            copy.close();
            bCopied = !copy.fail();
        }
    }

    if (bCopied && !MoveFileExA(strCopyName.c_str(), m_strFileName.c_str(), MOVEFILE_REPLACE_EXISTING))
        std::remove(strCopyName.c_str());

    // Written or not, the log is there to append to; a copy that could not be
    // opened leaves this run unlogged, as the log may be locked.
    if (bCopied)
    {
        m_LogFile.open(m_strFileName, std::ios::in | std::ios::out);
        if (m_LogFile.is_open())
            m_LogFile.seekp(0, std::ios::end);
    }
}

bool CLogger::Write(const char* szText)
{
    if (!m_LogFile.is_open())
        return false;
    m_LogFile << szText;
    return true;
}

bool CLogger::WriteLabel(const char* szLabel)
{
    Write(szLabel);
    if (!m_LogFile.is_open())
        return false;
    m_LogFile << '\t';
    return true;
}

bool CLogger::WriteLine(const char* szText)
{
    Write(szText);
    if (!m_LogFile.is_open())
        return false;
    m_LogFile << '\n';
    m_LogFile.flush();
    return true;
}

bool CLogger::WriteTimeStamp()
{
    char szDate[9];
    char szTime[9];
    _strdate(szDate);
    _strtime(szTime);
    if (!m_LogFile.is_open())
        return false;
    m_LogFile << szTime << '\t' << szDate << '\t' << '\n';
    m_LogFile.flush();
    return true;
}

int CLogger::LogFormat(const char* szFormat, ...)
{
    if (!m_LogFile.is_open())
        return 0;

    char szMessage[kMessageSize];
    va_list args;
    va_start(args, szFormat);
    int cch = vsnprintf(szMessage, sizeof(szMessage), szFormat, args);
    va_end(args);
    if (cch < 0)
    {
        szMessage[0] = '\0';
        cch = 0;
    }
    else if (cch >= static_cast<int>(sizeof(szMessage)))
    {
        cch = sizeof(szMessage) - 1;
    }

    m_LogFile << szMessage << '\n';
    m_LogFile.flush();
    return cch;
}
