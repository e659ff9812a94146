// Turns tool output, byte by byte, into the lines and prompts that GetLine returns.
#pragma once
#include <string>

class LineAssembler
{
public:
    static constexpr size_t kMaxLine = 1024;

    enum class Result {
        More,     // no line yet
        Line,     // a line ended with LF (CR, LF and trailing blanks stripped)
        Prompt,   // "recover> " arrived, possibly after blanks, without a line end
        LongLine, // 1024 characters without a line end
    };

    // Adds one output byte. When the result is not More, line() holds the text and the
    // next byte starts a new line.
    Result push(unsigned char c);
    const std::wstring& line() const { return m_sLine; }
    // Drops a partial line (a new command starts).
    void reset();

private:
    std::wstring m_sBuffer;
    std::wstring m_sLine;
};

// True when the text, after leading blanks, begins with the recover prompt "recover> ".
bool StartsWithRecoverPrompt(const std::wstring& s);
