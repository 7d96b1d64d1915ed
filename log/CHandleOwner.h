#ifndef TIRN_LOG_CHANDLEOWNER_H
#define TIRN_LOG_CHANDLEOWNER_H

#include <cstdint>
#include <type_traits>
#include <utility>

// The owner of one handle: it closes the handle once, with pfnClose, on
// every path. A handle equal to kNone or one of kAlsoNone is no handle and
// is never closed; an empty owner holds kNone. Every room may include it:
// log/ depends on no other room.
template <typename THandle, bool (*pfnClose)(THandle), intptr_t kNone, intptr_t... kAlsoNone>
class CHandleOwner
{
public:
    CHandleOwner() : m_h(None()) {}
    explicit CHandleOwner(THandle h) : m_h(h) {}
    virtual ~CHandleOwner() { Close(); }

    CHandleOwner(const CHandleOwner&) = delete;
    CHandleOwner& operator=(const CHandleOwner&) = delete;
    CHandleOwner(CHandleOwner&& other) noexcept : m_h(std::exchange(other.m_h, None())) {}
    CHandleOwner& operator=(CHandleOwner&& other) noexcept
    {
        Reset(std::exchange(other.m_h, None()));
        return *this;
    }

    // Closes the handle held before, if any.
    void Reset(THandle h)
    {
        Close();
        m_h = h;
    }
    // False when there was nothing to close or the close failed, which for a
    // file written to can mean that data was lost.
    bool Close()
    {
        bool bClosed = IsValid() && pfnClose(m_h);
        m_h = None();
        return bClosed;
    }

    bool IsValid() const { return Value(m_h) != kNone && ((Value(m_h) != kAlsoNone) && ...); }
    THandle Get() const { return m_h; }

private:
    static intptr_t Value(THandle h)
    {
        if constexpr (std::is_pointer_v<THandle>)
            return reinterpret_cast<intptr_t>(h);
        else
            return static_cast<intptr_t>(h);
    }
    static THandle None()
    {
        if constexpr (std::is_pointer_v<THandle>)
            return reinterpret_cast<THandle>(kNone);
        else
            return static_cast<THandle>(kNone);
    }

    THandle m_h;
};

#endif
