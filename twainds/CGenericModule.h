#ifndef TIRN_TWAINDS_CGENERICMODULE_H
#define TIRN_TWAINDS_CGENERICMODULE_H

#include <windows.h>

#include <string>

class CLogger;

// The generic module that a driver package leaves beside the exe (in the
// driver store) when it may not write to the Windows directory itself. It is
// put in twain_32 whole or not at all, and never over a module that another
// run put there meanwhile.
class CGenericModule
{
public:
    CGenericModule() {}
    virtual ~CGenericModule() {}

    CGenericModule(const CGenericModule&) = delete;
    CGenericModule& operator=(const CGenericModule&) = delete;

    // Copies the module beside the exe to szTarget, once a run; a failure
    // is logged with the call's error.
    void PlaceFromExeDir(const char* szTarget, bool bLog, CLogger* logger);

private:
    // The path of the module beside the exe; empty, with the error set,
    // when the exe's path cannot be had whole.
    static std::wstring ExeDirModule();

    bool m_bTried = false;
};

#endif
