#include "twainds/CGenericModule.h"

#include "log/CLogger.h"
#include "twainds/CDsCopy.h"


namespace
{
const wchar_t kModuleName[] = L"zbxgnds2";
// The longest path the wide calls take.
const size_t kMaxWidePath = 32768;

// The path in the log's characters; what the code page cannot spell shows
// as its default character.
std::string Narrow(const std::wstring& wstrPath)
{
    int cb = WideCharToMultiByte(CP_ACP, 0, wstrPath.c_str(), -1, NULL, 0, NULL, NULL);
    if (cb <= 0)
        return std::string();
    std::string strPath(cb, '\0');
    if (WideCharToMultiByte(CP_ACP, 0, wstrPath.c_str(), -1, &strPath[0], cb, NULL, NULL) != cb)
        return std::string();
    strPath.resize(cb - 1);
    return strPath;
}
} // namespace

std::wstring CGenericModule::ExeDirModule()
{
    std::wstring wstrPath(MAX_PATH, L'\0');
    for (;;)
    {
        DWORD cch = GetModuleFileNameW(NULL, &wstrPath[0], static_cast<DWORD>(wstrPath.size()));
        if (cch == 0)
            return std::wstring();
        // A full buffer is a cut answer, whether or not the error says so.
        if (cch < wstrPath.size())
        {
            wstrPath.resize(cch);
            break;
        }
        if (wstrPath.size() >= kMaxWidePath)
        {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return std::wstring();
        }
        wstrPath.resize(wstrPath.size() * 2);
    }
    size_t cchDir = wstrPath.size();
    while (cchDir > 0 && wstrPath[cchDir - 1] != L'\\')
        cchDir--;
    if (cchDir == 0)
    {
        SetLastError(ERROR_BAD_PATHNAME);
        return std::wstring();
    }
    wstrPath.resize(cchDir);
    return wstrPath.append(kModuleName);
}

void CGenericModule::PlaceFromExeDir(const char* szTarget, bool bLog, CLogger* logger)
{
    if (m_bTried)
        return;
    m_bTried = true;

    std::wstring wstrSource = ExeDirModule();
    if (wstrSource.empty())
    {
        int nError = static_cast<int>(GetLastError());
        if (bLog)
            logger->LogFormat("GetModuleFileName failed, GetLastError returned %d", nError);
        return;
    }
    // The copy is made under a name of the run's own beside the target and
    // moved there only where nothing stands: a module that another run
    // placed meanwhile stays.
    CDsCopy copy(wstrSource.c_str(), szTarget);
    if (copy.Open() && copy.MoveTo(szTarget, false))
    {
        if (bLog)
        {
            logger->Write("szFileNameGenericDs copied from ");
            logger->WriteLine(Narrow(wstrSource).c_str());
        }
        return;
    }
    DWORD dwError = copy.Error();
    if (bLog)
    {
        logger->Write("CopyFile failed on ");
        logger->Write(Narrow(wstrSource).c_str());
        logger->LogFormat(", GetLastError returned %d", static_cast<int>(dwError));
    }
}
