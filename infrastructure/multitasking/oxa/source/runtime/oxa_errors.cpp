// Raising the library's errors and the text of a Win32 error code.
#include "runtime/oxa_errors.h"

#include "runtime/oxa_error_traits.h"

#include <cwchar>
#include <string_view>

namespace voka::infrastructure::multitasking::oxa
{
namespace
{

// Frees a FormatMessageW buffer on every path.
class t_local_buffer
{
public:
    t_local_buffer() noexcept = default;
    t_local_buffer(const t_local_buffer&) = delete;
    t_local_buffer& operator=(const t_local_buffer&) = delete;
    ~t_local_buffer()
    {
        if (m_text != nullptr)
            ::LocalFree(m_text);
    }

    LPWSTR* out() noexcept { return &m_text; }
    const wchar_t* get() const noexcept { return m_text; }

private:
    LPWSTR m_text = nullptr;
};

bool is_blank(wchar_t c) noexcept
{
    return c == L'\0' || c == L'\t' || c == L'\n' || c == L'\r' || c == L' ';
}

std::wstring_view trimmed(std::wstring_view text) noexcept
{
    while (!text.empty() && is_blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back()))
        text.remove_suffix(1);
    return text;
}

}  // namespace

void oxa_raise_error(std::uint32_t message_id, std::uint32_t error_kind, std::uint32_t error_code,
                     std::initializer_list<std::wstring> params)
{
    t_oxa_exception error(message_id, error_kind, error_code);
    for (const std::wstring& param : params)
        error.add_str_arg(param);
    throw error;
}

void oxa_raise_bug_check(const wchar_t* source, const wchar_t* check_point,
                         const wchar_t* detail_template,
                         std::initializer_list<std::wstring> detail_params)
{
    ::structure::t_wmessage_formatter detail(detail_template);
    for (const std::wstring& param : detail_params)
        detail.add_arg(param);
    oxa_raise_error(oxa_msg_bug_check, oxa_error_kind_hresult, static_cast<std::uint32_t>(E_FAIL),
                    {source != nullptr ? source : L"", check_point != nullptr ? check_point : L"",
                     detail.build()});
}

std::wstring oxa_win32_error_text(DWORD code)
{
    t_local_buffer buffer;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
        nullptr, code, 0, reinterpret_cast<LPWSTR>(buffer.out()), 0, nullptr);
    std::wstring text;
    if (length != 0 && buffer.get() != nullptr)
        text = trimmed(std::wstring_view(buffer.get(), length));

    wchar_t line[160];
    std::swprintf(line, sizeof line / sizeof line[0], L"WIN32 Error: 0x%X",
                  static_cast<unsigned>(code));
    if (!text.empty())
        text += L'\n';
    text += line;
    return text;
}

}  // namespace voka::infrastructure::multitasking::oxa
