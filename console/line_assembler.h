// Turns tool output, byte by byte, into the lines and prompts that GetLine returns. A line that
// is valid UTF-8 is decoded as such (names with letters outside the ANSI code page come through
// intact); any other line is taken byte by byte in the ANSI code page.
#pragma once
#include <string>

class LineAssembler
{
public:
    static constexpr size_t kMaxLine = 1024; // bytes

    enum class Result {
        More,     // no line yet
        Line,     // a line ended with LF (CR, LF and trailing blanks stripped)
        Prompt,   // "recover> " arrived, possibly after blanks, without a line end
        LongLine, // 1024 characters without a line end
    };

    // Adds one output byte. When the result is not More, line() holds the text and the
    // next byte starts a new line.
    Result push(unsigned char c);
    // Adds bytes until a line or prompt is complete or they are used up; taken tells how many
    // were used. The same lines as pushing them one by one.
    Result push(const unsigned char* p, size_t n, size_t& taken);
    const std::wstring& line() const { return m_sLine; }
    // Drops a partial line (a new command starts).
    void reset();

private:
    std::string m_sBuffer;
    std::wstring m_sLine;
};

// True when the text, after leading blanks, begins with the recover prompt "recover> ".
bool StartsWithRecoverPrompt(const std::wstring& s);
// A line of tool output as text: UTF-8 when it is valid UTF-8, otherwise byte by byte.
std::wstring DecodeToolLine(const std::string& sBytes);
// The same into sText, reusing its storage (one line after another without allocating).
void DecodeToolLine(const std::string& sBytes, std::wstring& sText);
