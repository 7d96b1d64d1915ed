#ifndef TIRN_TWAINDS_CDSFILES_H
#define TIRN_TWAINDS_CDSFILES_H

#include "twainds/CDsNames.h"
#include "twainds/CGenericModule.h"
#include "twainds/CUtils.h"

class CLogger;

// The file work for one device: AddDS moves its staged file to the data
// source and RemoveDS removes that; MAddDS copies the generic module to it
// and MRemoveDS removes it with the device's directory.
class CDsFiles
{
public:
    explicit CDsFiles(const CDsNames& names) : m_Names(names) {}
    virtual ~CDsFiles() {}

    CDsFiles(const CDsFiles&) = delete;
    CDsFiles& operator=(const CDsFiles&) = delete;

    void AddRemoveDsFile(const char* instance, bool bAdd, bool bLog, CLogger* logger);
    // MAddDS: the generic module copied to the data source, which is whole
    // or absent at any moment.
    void CopyDsFile(const char* instance, bool bLog, CLogger* logger);
    // MRemoveDS: the data source removed, and the directory when it is empty.
    void RemoveDsFile(const char* instance, bool bLog, CLogger* logger);

private:
    // The device's paths; false, logged, when there are none to work on.
    bool PathsFor(const char* instance, CDsNames::SPaths* pPaths, bool bLog, CLogger* logger) const;
    // What copying and removing start with: the paths, logged, the staged
    // file removed and the data source's attributes reset.
    bool PrepareDsFile(const char* instance, CDsNames::SPaths* pPaths, bool bLog, CLogger* logger);

    // Removes the copies that runs ended mid-copy left in the device's
    // directory; not those of runs that still make them. One that stays is
    // logged, and with bLogRemoved one removed too.
    void RemoveLeftovers(const char* instance, const CDsNames::SPaths& paths, bool bLogRemoved, bool bLog,
                         CLogger* logger);

    const CDsNames& m_Names;
    CUtils m_Utils;
    CGenericModule m_GenericModule;
};

#endif
