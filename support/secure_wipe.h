// Wiping secrets (a password) out of the buffers that held them. Wiping covers a string's whole
// buffer, its capacity and not only its length, because an earlier, longer value may still be
// there; the compiler may not drop the writes as dead stores.
#pragma once
#include "support/win.h"

#include <cstddef>
#include <string>

namespace velmora
{

// Zeros n bytes at p.
inline void wipe(void* p, size_t n)
{
    if (p && n)
        SecureZeroMemory(p, n);
}

// Zeros the string's whole buffer, its terminator included, and empties it.
template <typename Char> void wipe(std::basic_string<Char>& s)
{
    wipe(s.data(), (s.capacity() + 1) * sizeof(Char));
    s.clear();
}

// Makes dst a copy of src without leaving a stale copy of dst's old value in a freed buffer:
// the old buffer is wiped before it is let go, and one more than slack characters are reserved
// so that appending that many later does not move the text either.
inline void assign_secret(std::wstring& dst, const std::wstring& src, size_t slack = 0)
{
    wipe(dst);
    dst.reserve(src.size() + slack);
    dst.assign(src);
}

// Wipes a plain object (a key record, a fixed array) when the scope ends.
class wipe_on_exit
{
public:
    wipe_on_exit(void* p, size_t n) : m_p(p), m_n(n) {}
    ~wipe_on_exit() { wipe(m_p, m_n); }
    wipe_on_exit(const wipe_on_exit&) = delete;
    wipe_on_exit& operator=(const wipe_on_exit&) = delete;

private:
    void* m_p;
    size_t m_n;
};

} // namespace velmora
