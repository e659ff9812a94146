// Tool output from the first byte to the classified line: the assembler's lines keep their
// bounds, decoding keeps UTF-8 intact, and every classification names a text the line holds.
#include "catalogue/saved_config.h"
#include "console/line_assembler.h"
#include "console/noise.h"
#include "fuzz_support.h"
#include "restore/recover_literals.h"
#include "restore/restore_lines.h"
#include "support/vstring.h"

namespace
{

const std::wstring kClient = L"client01";

bool Holds(const std::wstring& sLine, RecoverLiteral id)
{
    return sLine.find(RecoverLiteralText(id)) != std::wstring::npos;
}

void CheckDecoding(const std::string& sBytes, const std::wstring& sLine)
{
    FUZZ_CHECK(sLine.size() <= sBytes.size());
    bool bAscii = true;
    for (char c : sBytes)
        bAscii = bAscii && static_cast<unsigned char>(c) < 0x80;
    if (bAscii)
        FUZZ_CHECK(sLine == std::wstring(sBytes.begin(), sBytes.end()));
    else if (sLine.size() < sBytes.size())
        FUZZ_CHECK(velmora::to_utf8(sLine) == sBytes); // decoded as UTF-8: it encodes back to the bytes
}

void CheckClassification(const std::wstring& sLine)
{
    for (unsigned id = 0; id < RL_COUNT; ++id)
        FUZZ_CHECK(LineHas(sLine, static_cast<RecoverLiteral>(id)) == Holds(sLine, static_cast<RecoverLiteral>(id)));

    const RestoreLine kind = ClassifyRestoreLine(sLine, kClient);
    FUZZ_CHECK((kind == RestoreLine::Object) == IsObjectPath(sLine));
    FUZZ_CHECK(kind != RestoreLine::PerFileError || IsPerFileError(sLine));
    FUZZ_CHECK(kind != RestoreLine::IncorrectPassword || Holds(sLine, RL_INCORRECT_PASSWORD));
    FUZZ_CHECK(kind != RestoreLine::SecuredData || Holds(sLine, RL_SECURED_DATA));
    FUZZ_CHECK(kind != RestoreLine::ClientNotRegistered || sLine.find(kClient) != std::wstring::npos);
    FUZZ_CHECK(kind != RestoreLine::ConnectionClosed || Holds(sLine, RL_FORCIBLY_CLOSED));
    FUZZ_CHECK(kind != RestoreLine::RecoverMessage || Holds(sLine, RL_RECOVER_MESSAGE));
    FUZZ_CHECK(kind != RestoreLine::Other || !Holds(sLine, RL_RECOVER_MESSAGE));

    const catalogue::FetchLine fetch = catalogue::ClassifyFetchLine(sLine);
    FUZZ_CHECK(fetch != catalogue::FetchLine::Other || !Holds(sLine, RL_RECOVER_MESSAGE));
    FUZZ_CHECK(fetch != catalogue::FetchLine::TimedOut || Holds(sLine, RL_CONNECTION_TIMED_OUT));
    FUZZ_CHECK(fetch != catalogue::FetchLine::Busy || Holds(sLine, RL_FAILED_BUSY));
    const unsigned uiMessage = catalogue::FetchFailureMessage(fetch);
    FUZZ_CHECK(uiMessage == 0 || (uiMessage >= 101 && uiMessage <= 199));

    const wchar_t* pNoise = IgnoreReason(sLine);
    const bool bNoise = sLine.empty() || Holds(sLine, RL_INIT_PORTS_FAILED) ||
                        Holds(sLine, RL_RAP_SERVICE_NOT_AVAILABLE) || Holds(sLine, RL_PORT_RANGE_FAILED);
    FUZZ_CHECK((pNoise != nullptr) == bNoise);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    LineAssembler assembler;
    std::string sBytes; // the bytes of the line in hand, as the assembler keeps them
    for (size_t i = 0; i < nSize; ++i) {
        const unsigned char c = pData[i];
        const LineAssembler::Result result = assembler.push(c);
        if (c != 12 && c != 0)
            sBytes += static_cast<char>(c);
        if (result == LineAssembler::Result::More) {
            FUZZ_CHECK(sBytes.size() < LineAssembler::kMaxLine && c != '\n');
            continue;
        }
        const std::wstring& sLine = assembler.line();
        FUZZ_CHECK(sLine.find(L'\n') == std::wstring::npos && sLine.find(L'\0') == std::wstring::npos);
        FUZZ_CHECK(sLine.find(L'\f') == std::wstring::npos);
        switch (result) {
        case LineAssembler::Result::Line: {
            FUZZ_CHECK(sLine.empty() || (sLine.back() != L' ' && sLine.back() != L'\r'));
            const size_t end = sBytes.find_last_not_of("\r\n ");
            CheckDecoding(end == std::string::npos ? std::string() : sBytes.substr(0, end + 1), sLine);
            break;
        }
        case LineAssembler::Result::Prompt:
            FUZZ_CHECK(StartsWithRecoverPrompt(sLine));
            CheckDecoding(sBytes, sLine);
            break;
        case LineAssembler::Result::LongLine: {
            // A piece: the bytes up to a cut between characters; the rest starts the next piece.
            FUZZ_CHECK(sBytes.size() == LineAssembler::kMaxLine && assembler.piece());
            const size_t nHanded = sBytes.size() - assembler.pending();
            FUZZ_CHECK(nHanded > 0 && assembler.pending() < 4);
            CheckDecoding(sBytes.substr(0, nHanded), sLine);
            CheckClassification(sLine);
            sBytes.erase(0, nHanded);
            continue;
        }
        default: FUZZ_CHECK(false);
        }
        CheckClassification(sLine);
        sBytes.clear();
    }
    return 0;
}
