// TraceScope: the "starting ..." / "... ending" bracket of one function. The start line is
// written at construction; exactly one end line follows: "... ending(<reason>)" where Fail was
// called, "... ending" where End was called or, at the latest, when the scope ends. An exception
// that leaves the function ends it with "... ending(exception)".
#pragma once
#include "trace/trace.h"

#include <exception>

class TraceScope
{
public:
    explicit TraceScope(const wchar_t* pFn, CTrace& trace = CvexTrace())
        : m_pFn(pFn), m_trace(trace), m_iExceptions(std::uncaught_exceptions())
    {
        m_trace.Start(m_pFn);
    }
    ~TraceScope()
    {
        if (m_bEnded)
            return;
        if (std::uncaught_exceptions() > m_iExceptions)
            m_trace.EndFail(m_pFn, L"exception");
        else
            m_trace.End(m_pFn);
    }
    TraceScope(const TraceScope&) = delete;
    TraceScope& operator=(const TraceScope&) = delete;

    const wchar_t* fn() const { return m_pFn; }
    CTrace& trace() const { return m_trace; }

    // Writes the failure end now; returns false, so that `return scope.Fail(...)` ends a bool
    // function. Later ends are ignored.
    bool Fail(const wchar_t* pReason, DWORD dwLevel = TL_ERROR)
    {
        if (!m_bEnded)
            m_trace.EndFail(m_pFn, pReason, dwLevel);
        m_bEnded = true;
        return false;
    }
    // Writes the normal end now (before a result line that follows it); returns true.
    bool End()
    {
        if (!m_bEnded)
            m_trace.End(m_pFn);
        m_bEnded = true;
        return true;
    }
    // Writes an end line of its own form (a few ends are written so, not as "... ending(...)");
    // returns false.
    bool FailWithLine(const wchar_t* pLine, DWORD dwLevel = TL_ERROR)
    {
        if (!m_bEnded)
            m_trace.Line(dwLevel, m_pFn, pLine);
        m_bEnded = true;
        return false;
    }
    bool ended() const { return m_bEnded; }

private:
    const wchar_t* m_pFn;
    CTrace& m_trace;
    int m_iExceptions;
    bool m_bEnded = false;
};
