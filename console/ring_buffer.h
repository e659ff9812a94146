// Fixed ring of output bytes between the pipe reads and the one-byte-at-a-time reader.
#pragma once
#include <array>
#include <cstddef>
#include <cstring>

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
            // One contiguous piece: up to the end of the array or up to the read index.
            size_t room = (m_uiWrite < m_uiRead ? m_uiRead : kSize) - m_uiWrite;
            size_t piece = n - taken < room ? n - taken : room;
            std::memcpy(m_data.data() + m_uiWrite, p + taken, piece);
            taken += piece;
            m_uiWrite = (m_uiWrite + piece) % kSize;
            m_bFull = m_uiWrite == m_uiRead;
        }
        return taken;
    }
    // The bytes that can be read in one piece (up to the end of the array); none when empty.
    const unsigned char* readable(size_t& n) const
    {
        n = empty() ? 0 : (m_uiWrite > m_uiRead ? m_uiWrite : kSize) - m_uiRead;
        return m_data.data() + m_uiRead;
    }
    // Marks n of the readable bytes as read.
    void consume(size_t n)
    {
        if (n == 0)
            return;
        m_uiRead = (m_uiRead + n) % kSize;
        m_bFull = false;
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
