// Move-only owners of Win32 handles. One template; a traits type says what "empty" is
// and how the handle is released. Destructors never throw and keep the caller's last error.
#pragma once
#include "support/win.h"

#include <utility>

namespace velmora
{

template <typename Traits> class unique_handle
{
public:
    using value_type = typename Traits::type;

    unique_handle() noexcept = default;
    explicit unique_handle(value_type h) noexcept : m_h(h) {}
    ~unique_handle() { reset(); }

    unique_handle(const unique_handle&) = delete;
    unique_handle& operator=(const unique_handle&) = delete;
    unique_handle(unique_handle&& other) noexcept : m_h(other.release()) {}
    unique_handle& operator=(unique_handle&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    value_type get() const noexcept { return m_h; }
    explicit operator bool() const noexcept { return m_h != Traits::invalid(); }
    value_type* put() noexcept
    {
        reset();
        return &m_h;
    }
    value_type release() noexcept { return std::exchange(m_h, Traits::invalid()); }
    // Closes the handle now and tells whether that worked (GetLastError() then holds why not).
    // An empty owner closes nothing and answers true.
    bool close() noexcept
    {
        value_type old = release();
        return old == Traits::invalid() || Traits::close(old);
    }
    void reset(value_type h = Traits::invalid()) noexcept
    {
        value_type old = std::exchange(m_h, h);
        if (old != Traits::invalid()) {
            DWORD dwSaved = GetLastError();
            Traits::close(old);
            SetLastError(dwSaved);
        }
    }

private:
    value_type m_h = Traits::invalid();
};

struct null_handle_traits {
    using type = HANDLE;
    static type invalid() noexcept { return nullptr; }
    static bool close(type h) noexcept { return ::CloseHandle(h) != FALSE; }
};

struct file_handle_traits {
    using type = HANDLE;
    static type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool close(type h) noexcept { return ::CloseHandle(h) != FALSE; }
};

struct find_handle_traits {
    using type = HANDLE;
    static type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool close(type h) noexcept { return ::FindClose(h) != FALSE; }
};

struct change_notification_traits {
    using type = HANDLE;
    static type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool close(type h) noexcept { return ::FindCloseChangeNotification(h) != FALSE; }
};

struct hkey_traits {
    using type = HKEY;
    static type invalid() noexcept { return nullptr; }
    static bool close(type h) noexcept { return ::RegCloseKey(h) == ERROR_SUCCESS; }
};

struct hmodule_traits {
    using type = HMODULE;
    static type invalid() noexcept { return nullptr; }
    static bool close(type h) noexcept { return ::FreeLibrary(h) != FALSE; }
};

struct socket_traits {
    using type = SOCKET;
    static type invalid() noexcept { return INVALID_SOCKET; }
    static bool close(type s) noexcept { return ::closesocket(s) == 0; }
};

// Process, thread, mutex, event, token: NULL means empty.
using unique_handle_null = unique_handle<null_handle_traits>;
// Files and pipes from CreateFile: INVALID_HANDLE_VALUE means empty.
using unique_file = unique_handle<file_handle_traits>;
using unique_find = unique_handle<find_handle_traits>;
using unique_change_notification = unique_handle<change_notification_traits>;
using unique_hkey = unique_handle<hkey_traits>;
using unique_module = unique_handle<hmodule_traits>;
using unique_socket = unique_handle<socket_traits>;

// Runs a clean-up on scope exit unless released (undoing multi-step changes).
template <typename F> class scope_exit
{
public:
    explicit scope_exit(F f) : m_f(std::move(f)) {}
    ~scope_exit()
    {
        if (m_bArmed)
            m_f();
    }
    scope_exit(const scope_exit&) = delete;
    scope_exit& operator=(const scope_exit&) = delete;
    void release() noexcept { m_bArmed = false; }

private:
    F m_f;
    bool m_bArmed = true;
};

} // namespace velmora
