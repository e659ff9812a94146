// Turns tool output, byte by byte, into the lines and prompts that GetLine returns. A line that
// is valid UTF-8 is decoded as such (names with letters outside the ANSI code page come through
// intact); any other line is taken byte by byte in the ANSI code page. Lines are kept whole up to
// kMaxLine bytes, room for a listing line of a path as long as Windows allows; a longer line
// comes in pieces, each cut between characters and marked as a piece.
#pragma once
#include <string>

class LineAssembler
{
public:
    // The longest path Windows takes (32,767 UTF-16 units, 3 bytes each in UTF-8) and the fields
    // that precede it in a listing line.
    static constexpr size_t kMaxLine = 3 * 32767 + 256; // bytes

    enum class Result {
        More,     // no line yet
        Line,     // a line ended with LF (CR, LF and trailing blanks stripped)
        Prompt,   // "recover> " arrived, possibly after blanks, without a line end
        LongLine, // kMaxLine bytes without a line end: a piece, the rest follows
    };

    // Adds one output byte. When the result is not More, line() holds the text and the
    // next byte starts a new line.
    Result push(unsigned char c);
    // Adds bytes until a line or prompt is complete or they are used up; taken tells how many
    // were used. The same lines as pushing them one by one.
    Result push(const unsigned char* p, size_t n, size_t& taken);
    const std::wstring& line() const { return m_sLine; }
    // The line handed out is a piece of a longer one (every piece, the last included).
    bool piece() const { return m_bPiece; }
    // Bytes held for the next line (after a piece: the start of a character that was not cut).
    size_t pending() const { return m_sBuffer.size(); }
    // Drops a partial line (a new command starts).
    void reset();

private:
    Result HandOutPiece();

    std::string m_sBuffer;
    std::wstring m_sLine;
    bool m_bPiece = false;  // the line handed out is a piece
    bool m_bInLong = false; // pieces of the current line have been handed out
};

// Where a piece of UTF-8 text may end without cutting a character: the size, or the start of a
// last character that is not complete.
size_t Utf8CutPoint(const std::string& s);

// True when the text, after leading blanks, begins with the recover prompt "recover> ".
bool StartsWithRecoverPrompt(const std::wstring& s);
// A line of tool output as text: UTF-8 when it is valid UTF-8, otherwise byte by byte.
std::wstring DecodeToolLine(const std::string& sBytes);
// The same into sText, reusing its storage (one line after another without allocating).
void DecodeToolLine(const std::string& sBytes, std::wstring& sText);
