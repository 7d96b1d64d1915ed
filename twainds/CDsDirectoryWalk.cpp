#include "twainds/CDsDirectoryWalk.h"

#include "twainds/CDsNames.h"

#include <cerrno>
#include <cstring>
#include <mbstring.h>

CDsDirectoryWalk::CDsDirectoryWalk(const char* szPattern, const char* szDsPrefix)
    : m_strPattern(szPattern), m_szDsPrefix(szDsPrefix), m_FindData(), m_bFindDone(false), m_szFailedCall(NULL),
      m_nErrno(0)
{
}

void CDsDirectoryWalk::NoteEnd(const char* szCall, int nErrno)
{
    if (nErrno != ENOENT)
    {
        m_szFailedCall = szCall;
        m_nErrno = nErrno;
    }
}

bool CDsDirectoryWalk::NextDsDirectory(char* instance, int bufferSize)
{
    // Four digits and the terminator.
    if (bufferSize < 5)
        return false;
    if (!m_Find.IsValid() && !m_bFindDone)
    {
        m_szFailedCall = NULL;
        int nErrno = m_Find.First(m_strPattern.c_str(), &m_FindData);
        if (nErrno != 0 || !m_Find.IsValid())
        {
            NoteEnd("_findfirst", nErrno);
            return false;
        }
    }

    size_t cchPrefix = std::strlen(m_szDsPrefix);
    for (;;)
    {
        if (m_bFindDone)
        {
            m_bFindDone = false;
            return false;
        }

        // The pattern matches short names too ("vrtk+0001" is VRTK_0~1): the
        // long name must start with the prefix, in either letter case as the
        // search compares. Entries of other families that share the start of
        // their names, and anything else, are not walked.
        bool bOurs = _mbsnbicmp(reinterpret_cast<const unsigned char*>(m_FindData.name),
                                reinterpret_cast<const unsigned char*>(m_szDsPrefix), cchPrefix) == 0 &&
                     CDsNames::IsInstanceNumber(m_FindData.name + cchPrefix);
        if (bOurs)
            std::memcpy(instance, m_FindData.name + cchPrefix, 5);

        // Read one entry ahead, so the caller may remove the current one.
        int nErrno = m_Find.Next(&m_FindData);
        if (nErrno != 0)
        {
            NoteEnd("_findnext", nErrno);
            m_Find.Close();
            m_bFindDone = true;
        }
        if (bOurs)
            return true;
    }
}
