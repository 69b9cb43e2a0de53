// The user's default language as Windows names it (a LANGID), taken from the POSIX locale.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace voka::platform
{

// The LANGID of a POSIX locale name "language[_COUNTRY][.codeset][@modifier]" ("ru_RU.UTF-8"
// gives 0x0419, "de_AT" 0x0C07, "pt" 0x0816). A country the table lacks gives the language's
// default (en_NZ is listed, en_JM gives 0x0409). "C", "POSIX" and languages the table lacks give
// nullopt. The table holds the common European and East Asian languages. Portable: no OS calls.
std::optional<std::uint16_t> language_from_locale_name(std::string_view locale_name) noexcept;

// The user's default language, read now from the environment as setlocale(LC_MESSAGES, "")
// would choose it: the first non-empty of LC_ALL, LC_MESSAGES and LANG decides, through
// language_from_locale_name. nullopt when none is set or the one that decides has no LANGID.
// Reads the environment: not to be called while another thread changes it.
std::optional<std::uint16_t> user_default_language() noexcept;

}  // namespace voka::platform
