#include "log/CLogger.h"

#include "log/CLogCut.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>

namespace
{
std::wstring WithoutExtension(const std::wstring& wstrPath)
{
    return wstrPath.substr(0, wstrPath.size() - 4);
}

// GetTempPath2W gives SYSTEM a temp directory that other users cannot reach,
// instead of C:\Windows\Temp, where every user may make files and
// directories under the log's names; for any other account it answers as
// GetTempPathW does. Windows has it from Windows 11 and updated Windows 10.
// Wide, because the directory is named after the user: in the ANSI code
// page a name may not be spelt at all, or be best fitted to another one.
DWORD GetLogDirectory(DWORD cchBuffer, wchar_t* wszBuffer)
{
    typedef DWORD(WINAPI * PFNGETTEMPPATH2W)(DWORD, LPWSTR);
    HMODULE hKernel32 = GetModuleHandleA("kernel32.dll");
    FARPROC pfn = hKernel32 != NULL ? GetProcAddress(hKernel32, "GetTempPath2W") : NULL;
    if (pfn == NULL)
        return GetTempPathW(cchBuffer, wszBuffer);
    return reinterpret_cast<PFNGETTEMPPATH2W>(reinterpret_cast<void (*)()>(pfn))(cchBuffer, wszBuffer);
}
} // namespace

CLogger::CLogger(const char* szSuffix) : m_bHolding(false)
{
    wchar_t wszTempDir[MAX_PATH];
    DWORD cch = GetLogDirectory(MAX_PATH, wszTempDir);
    // No temp directory, or one that did not fit: the run goes on unlogged.
    if (cch == 0 || cch >= MAX_PATH)
        return;
    m_wstrFileName = wszTempDir;
    // The suffixes are ASCII.
    for (const char* p = szSuffix; *p != '\0'; ++p)
        m_wstrFileName += static_cast<wchar_t>(static_cast<unsigned char>(*p));

    m_Turn.Take(WithoutExtension(m_wstrFileName) + L".lock");
    if (!OpenLog())
    {
        m_Turn.Release();
        return;
    }
    // Without the turn the log is never cut, not even when no run can have
    // the turn: another run may be writing to it, and on Windows the lines
    // it writes after the replace go to the replaced file and are lost. A
    // log that grows is the lesser harm, and each section says why.
    LONGLONG llSize;
    if (m_Turn.Has() && m_LogFile.GetSize(&llSize) && llSize > kMaxLogSize)
    {
        CLogCut(m_wstrFileName, WithoutExtension(m_wstrFileName) + L"2.log", kMaxLogSize).Cut(&m_LogFile, llSize);
        if (!m_LogFile.IsValid())
            OpenLog();
    }

    m_CallerOutput.Open();
    WriteTimeStamp();
    WriteLine("Start Log");
    if (!m_Turn.Has())
        LogWithoutTurn();
}

CLogger::~CLogger()
{
    Release();
    WriteTimeStamp();
    WriteLine("End Log");
    WriteLine("");
    m_LogFile.Close();
    m_Turn.Release();
}

bool CLogger::OpenLog()
{
    // Append-only access: every write lands at the end of the file as it is
    // then, whoever else writes to it. Nothing is denied to other processes.
    return m_LogFile.OpenOwn(m_wstrFileName, FILE_READ_DATA | FILE_APPEND_DATA | SYNCHRONIZE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL);
}

void CLogger::LogWithoutTurn()
{
    if (m_Turn.TimedOut())
        LogFormat("Log lock not had after %u s, GetLastError returned %d, logging without it",
                  static_cast<unsigned>(CLogTurn::kWaitMs / 1000), static_cast<int>(m_Turn.Error()));
    else
        LogFormat("Log lock cannot be made, GetLastError returned %d, logging without it",
                  static_cast<int>(m_Turn.Error()));
}

void CLogger::EndLine()
{
    // Line ends are stored as CR LF, also those inside a logged value.
    for (size_t pos = m_strLine.find('\n'); pos != std::string::npos; pos = m_strLine.find('\n', pos + 2))
        m_strLine.insert(pos, 1, '\r');
    m_strLine += "\r\n";
    if (m_bHolding)
        m_strHeld += m_strLine;
    else
        Emit(m_strLine);
    // Cleared, the line keeps its buffer for the next one.
    m_strLine.clear();
}

void CLogger::Release()
{
    if (!m_strHeld.empty())
        Emit(m_strHeld);
    m_strHeld.clear();
    m_bHolding = false;
}

void CLogger::Emit(const std::string& strLines)
{
    m_LogFile.WriteAll(strLines);
    m_CallerOutput.Write(strLines);
}

bool CLogger::Write(const char* szText)
{
    if (!IsOpen())
        return false;
    m_strLine += szText;
    return true;
}

bool CLogger::WriteLabel(const char* szLabel)
{
    Write(szLabel);
    if (!IsOpen())
        return false;
    m_strLine += '\t';
    return true;
}

bool CLogger::WriteLine(const char* szText)
{
    Write(szText);
    if (!IsOpen())
        return false;
    EndLine();
    return true;
}

bool CLogger::WriteTimeStamp()
{
    char szDate[9];
    char szTime[9];
    _strdate(szDate);
    _strtime(szTime);
    if (!IsOpen())
        return false;
    m_strLine += szTime;
    m_strLine += '\t';
    m_strLine += szDate;
    m_strLine += '\t';
    EndLine();
    return true;
}

int CLogger::LogFormat(const char* szFormat, ...)
{
    if (!IsOpen())
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

    m_strLine += szMessage;
    EndLine();
    return cch;
}
