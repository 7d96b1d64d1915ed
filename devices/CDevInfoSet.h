#ifndef TIRN_DEVICES_CDEVINFOSET_H
#define TIRN_DEVICES_CDEVINFOSET_H

#include <windows.h>
#include <setupapi.h>

// Owns a device information set and destroys it once; a set that the
// platform did not make is never handed back to it.
class CDevInfoSet
{
public:
    explicit CDevInfoSet(HDEVINFO hDevInfo) : m_hDevInfo(hDevInfo) {}
    virtual ~CDevInfoSet();

    CDevInfoSet(const CDevInfoSet&) = delete;
    CDevInfoSet& operator=(const CDevInfoSet&) = delete;

    bool IsValid() const { return m_hDevInfo != NULL && m_hDevInfo != INVALID_HANDLE_VALUE; }
    HDEVINFO Get() const { return m_hDevInfo; }

private:
    HDEVINFO m_hDevInfo;
};

#endif
