#ifndef TIRN_TWAINDS_CDSDIRECTORYWALK_H
#define TIRN_TWAINDS_CDSDIRECTORYWALK_H

#include "twainds/CFindHandle.h"

#include <string>

// The walk of MRemoveDS over the twain_32 entries whose names are the
// prefix and an instance number.
class CDsDirectoryWalk
{
public:
    // szPattern: the prefix and a wildcard, below twain_32.
    CDsDirectoryWalk(const char* szPattern, const char* szDsPrefix);
    virtual ~CDsDirectoryWalk() {}

    CDsDirectoryWalk(const CDsDirectoryWalk&) = delete;
    CDsDirectoryWalk& operator=(const CDsDirectoryWalk&) = delete;

    // True with the next entry's instance number in instance; false once
    // the walk is over, and the call after that starts it again.
    bool NextDsDirectory(char* instance, int bufferSize);
    // The runtime call that ended the last walk by an error, and its errno;
    // null when the walk found all there was.
    const char* FailedCall() const { return m_szFailedCall; }
    int FailedErrno() const { return m_nErrno; }

private:
    // ENOENT is the end of the entries, not a failure.
    void NoteEnd(const char* szCall, int nErrno);

    std::string m_strPattern;
    const char* m_szDsPrefix;
    CFindHandle m_Find;
    struct _finddata64i32_t m_FindData;
    bool m_bFindDone;
    const char* m_szFailedCall;
    int m_nErrno;
};

#endif
