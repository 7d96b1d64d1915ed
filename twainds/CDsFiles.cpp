#include "twainds/CDsFiles.h"

#include "log/CLogger.h"
#include "twainds/CDsCopy.h"
#include "twainds/CFindHandle.h"

#include <direct.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

// Some log texts below read like typos ("succefully", "_trmdir"). They are
// the program's fixed output, which readers of old logs search for: keep
// them as they are.

namespace
{
void SetNormal(const char* szPath, bool bLog, CLogger* logger)
{
    if (SetFileAttributesA(szPath, FILE_ATTRIBUTE_NORMAL))
        return;
    int nError = static_cast<int>(GetLastError());
    if (bLog)
    {
        logger->LogFormat("SetFileAttributes failed on %s", szPath);
        logger->LogFormat("GetLastError returned %d", nError);
    }
}

// The removing steps report a failed reset in one line, without the path.
void SetNormalBeforeRemoval(const char* szPath, bool bLog, CLogger* logger)
{
    if (!SetFileAttributesA(szPath, FILE_ATTRIBUTE_NORMAL))
    {
        int nError = static_cast<int>(GetLastError());
        if (bLog)
            logger->LogFormat("SetFileAttributes failed, GetLastError returned %d", nError);
    }
}

void LogRemoveFailed(const char* szPath, int nErrno, bool bLog, CLogger* logger)
{
    if (bLog)
    {
        logger->LogFormat("_tremove failed on %s", szPath);
        logger->LogFormat("errno = %d", nErrno);
    }
}

void RemoveFile(const char* szPath, bool bLog, CLogger* logger)
{
    if (std::remove(szPath) != 0)
        LogRemoveFailed(szPath, errno, bLog, logger);
    else if (bLog)
        logger->LogFormat("_tremove succefully removed %s", szPath);
}

// AddDS and RemoveDS tell only what did not go as the files on disk
// allowed: a file or directory that is not there, a data source already in
// place, or a directory that holds more, are no failures.
void RemoveIfThere(const char* szPath, bool bLog, CLogger* logger)
{
    if (std::remove(szPath) != 0 && errno != ENOENT)
        LogRemoveFailed(szPath, errno, bLog, logger);
}
} // namespace

bool CDsFiles::PathsFor(const char* instance, CDsNames::SPaths* pPaths, bool bLog, CLogger* logger) const
{
    if (!m_Names.HasTwainDir())
    {
        if (bLog)
            logger->LogFormat("No twain_32 directory, nothing done for instance %s", instance);
        return false;
    }
    if (!m_Names.ForInstance(instance, pPaths))
    {
        if (bLog)
            logger->LogFormat("Paths for instance %s do not fit in %d characters, skipped", instance, MAX_PATH - 1);
        return false;
    }
    return true;
}

void CDsFiles::AddRemoveDsFile(const char* instance, bool bAdd, bool bLog, CLogger* logger)
{
    CDsNames::SPaths paths;
    if (!PathsFor(instance, &paths, bLog, logger))
        return;

    // Adding moves the staged file to the data source; removing names the
    // same two the other way round.
    const char* szExisting = bAdd ? paths.szFileName : paths.szFileNameDs;
    const char* szNew = bAdd ? paths.szFileNameDs : paths.szFileName;
    // What runs of MAddDS ended mid-copy left, which would keep the
    // directory.
    RemoveLeftovers(instance, paths, false, bLog, logger);
    if (bLog)
    {
        logger->WriteLabel("Existing File:");
        logger->WriteLine(szExisting);
        logger->WriteLabel("New File:");
        logger->WriteLine(szNew);
    }
    if (bAdd)
    {
        // Never replaces: an existing data source stays as it is.
        if (!MoveFileA(szExisting, szNew))
        {
            DWORD dwError = GetLastError();
            if (bLog && dwError != ERROR_FILE_NOT_FOUND && dwError != ERROR_PATH_NOT_FOUND &&
                dwError != ERROR_ALREADY_EXISTS && dwError != ERROR_FILE_EXISTS)
                logger->LogFormat("MoveFile failed on %s, GetLastError returned %d", szExisting,
                                  static_cast<int>(dwError));
        }
        return;
    }

    SetNormalBeforeRemoval(paths.szFileNameDs, bLog, logger);
    RemoveIfThere(paths.szFileNameDs, bLog, logger);
    SetNormalBeforeRemoval(paths.szTwainDir, bLog, logger);
    // Goes only when nothing else is left in the directory.
    if (_rmdir(paths.szTwainDir) != 0 && errno != ENOENT && errno != ENOTEMPTY)
    {
        int nErrno = errno;
        if (bLog)
            logger->LogFormat("_trmdir failed, errno = %d", nErrno);
    }
}

void CDsFiles::RemoveLeftovers(const char* instance, const CDsNames::SPaths& paths, bool bLogRemoved, bool bLog,
                               CLogger* logger)
{
    char szPattern[MAX_PATH];
    if (!CUtils::BuildPath(szPattern, sizeof(szPattern), {paths.szFileName, ".*"}))
        return;
    // Named first and removed after the search, which then sees the
    // directory as it was.
    std::vector<std::string> leftovers;
    struct _finddata64i32_t findData;
    CFindHandle find;
    // A search that finds nothing, or cannot look (no directory, a file in
    // its place), leaves nothing to remove.
    for (int nErrno = find.First(szPattern, &findData); nErrno == 0; nErrno = find.Next(&findData))
    {
        if (m_Names.IsCopyName(instance, findData.name))
            leftovers.push_back(findData.name);
    }
    find.Close();
    for (const std::string& strName : leftovers)
    {
        const char* szCall;
        DWORD dwError;
        bool bRemoved = CDsCopy::RemoveLeftover(paths.szTwainDir, strName.c_str(), &szCall, &dwError);
        // A copy that a run still makes is not left over, nor one gone since.
        if (!bLog || dwError == ERROR_SHARING_VIOLATION || dwError == ERROR_FILE_NOT_FOUND)
            continue;
        const std::string strPath = std::string(paths.szTwainDir) + "\\" + strName;
        if (bRemoved)
        {
            if (bLogRemoved)
                logger->LogFormat("_tremove succefully removed %s", strPath.c_str());
            continue;
        }
        logger->LogFormat("%s failed on %s", szCall, strPath.c_str());
        logger->LogFormat("GetLastError returned %d", static_cast<int>(dwError));
    }
}

bool CDsFiles::PrepareDsFile(const char* instance, CDsNames::SPaths* pPaths, bool bLog, CLogger* logger)
{
    if (!PathsFor(instance, pPaths, bLog, logger))
        return false;

    if (bLog)
    {
        logger->LogFormat("m_szTwainDir = %s", m_Names.TwainDir());
        logger->LogFormat("szTwainDir = %s", pPaths->szTwainDir);
        logger->LogFormat("szFileName = %s", pPaths->szFileName);
        logger->LogFormat("szFileNameDs = %s", pPaths->szFileNameDs);
        logger->LogFormat("szFileNameGenericDs = %s", pPaths->szFileNameGenericDs);
    }

    if (m_Utils.PathExists(pPaths->szFileName))
    {
        SetNormal(pPaths->szFileName, bLog, logger);
        RemoveFile(pPaths->szFileName, bLog, logger);
    }
    RemoveLeftovers(instance, *pPaths, true, bLog, logger);
    if (m_Utils.PathExists(pPaths->szFileNameDs))
        SetNormal(pPaths->szFileNameDs, bLog, logger);
    return true;
}

// The copy is opened first: when it opens, the generic module and the
// device's directory were there, and the tests made before a copy would have
// found them so. Only a copy that cannot be opened looks why.
void CDsFiles::CopyDsFile(const char* instance, bool bLog, CLogger* logger)
{
    CDsNames::SPaths paths;
    if (!PrepareDsFile(instance, &paths, bLog, logger))
        return;

    CDsCopy copy(paths.szFileNameGenericDs, paths.szFileName);
    bool bOpen = copy.Open();
    if (!bOpen)
    {
        // A package that may not write twain_32 leaves the module beside
        // the exe.
        if (!m_Utils.PathExists(paths.szFileNameGenericDs))
            m_GenericModule.PlaceFromExeDir(paths.szFileNameGenericDs, bLog, logger);
        if (!m_Utils.PathExists(paths.szFileNameGenericDs))
        {
            if (bLog)
                logger->LogFormat("Failed to find szFileNameGenericDs = %s", paths.szFileNameGenericDs);
            return;
        }
        if (!m_Utils.PathExists(paths.szTwainDir) && _mkdir(paths.szTwainDir) != 0)
        {
            int nErrno = errno;
            if (bLog)
            {
                logger->LogFormat("_mkdir fail to create %s", paths.szTwainDir);
                logger->LogFormat("errno = %d", nErrno);
            }
        }
        bOpen = copy.Open();
    }
    if (!bOpen || !copy.MoveTo(paths.szFileNameDs))
    {
        if (bLog)
        {
            logger->LogFormat("CopyFile failed");
            logger->LogFormat("GetLastError returned %d", static_cast<int>(copy.Error()));
        }
        return;
    }
    if (bLog)
    {
        logger->LogFormat("CopyFile succeeded on %s", paths.szFileNameGenericDs);
        logger->LogFormat("Copied to %s", paths.szFileNameDs);
    }
}

void CDsFiles::RemoveDsFile(const char* instance, bool bLog, CLogger* logger)
{
    CDsNames::SPaths paths;
    if (!PrepareDsFile(instance, &paths, bLog, logger))
        return;

    // Its attributes are reset a second time, and a failure logged again.
    if (m_Utils.PathExists(paths.szFileNameDs))
    {
        SetNormal(paths.szFileNameDs, bLog, logger);
        RemoveFile(paths.szFileNameDs, bLog, logger);
    }
    SetNormalBeforeRemoval(paths.szTwainDir, bLog, logger);
    if (_rmdir(paths.szTwainDir) != 0)
    {
        int nErrno = errno;
        if (bLog)
            logger->LogFormat("_trmdir failed, errno = %d", nErrno);
    }
}
