// Fixed ring of output bytes between the pipe reads and the one-byte-at-a-time reader.
#pragma once
#include <array>
#include <cstddef>

class ByteRing
{
public:
    static constexpr size_t kSize = 65536;

    bool empty() const { return !m_bFull && m_uiRead == m_uiWrite; }
    bool full() const { return m_bFull; }
    // Moves as many of the n bytes as fit; returns how many were taken.
    size_t put(const unsigned char* p, size_t n)
    {
        size_t taken = 0;
        while (taken < n && !m_bFull) {
            m_data[m_uiWrite] = p[taken++];
            m_uiWrite = (m_uiWrite + 1) % kSize;
            m_bFull = m_uiWrite == m_uiRead;
        }
        return taken;
    }
    bool get(unsigned char& c)
    {
        if (empty())
            return false;
        c = m_data[m_uiRead];
        m_uiRead = (m_uiRead + 1) % kSize;
        m_bFull = false;
        return true;
    }
    void clear()
    {
        m_uiRead = m_uiWrite = 0;
        m_bFull = false;
    }

private:
    std::array<unsigned char, kSize> m_data{};
    size_t m_uiRead = 0;
    size_t m_uiWrite = 0;
    bool m_bFull = false;
};
