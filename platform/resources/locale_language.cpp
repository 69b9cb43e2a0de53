// POSIX locale names to Windows language identifiers, from a table of common languages. Portable
// code: no OS calls.
#include "locale_language.h"

#include <array>

namespace voka::platform
{
namespace
{

struct t_locale_language
{
    std::string_view language;  // ISO 639 code, lower case
    std::string_view country;   // ISO 3166 code, upper case; empty: the language's default
    std::uint16_t langid;
};

// Each language's default row comes first; the LANGIDs are Windows' (MAKELANGID(primary, sub)).
constexpr std::array k_locale_languages{
    t_locale_language{"ar", "", 0x0401},   t_locale_language{"bg", "", 0x0402},
    t_locale_language{"ca", "", 0x0403},   t_locale_language{"zh", "", 0x0804},
    t_locale_language{"zh", "TW", 0x0404}, t_locale_language{"zh", "HK", 0x0C04},
    t_locale_language{"zh", "SG", 0x1004}, t_locale_language{"zh", "MO", 0x1404},
    t_locale_language{"cs", "", 0x0405},   t_locale_language{"da", "", 0x0406},
    t_locale_language{"de", "", 0x0407},   t_locale_language{"de", "CH", 0x0807},
    t_locale_language{"de", "AT", 0x0C07}, t_locale_language{"de", "LU", 0x1007},
    t_locale_language{"de", "LI", 0x1407}, t_locale_language{"el", "", 0x0408},
    t_locale_language{"en", "", 0x0409},   t_locale_language{"en", "GB", 0x0809},
    t_locale_language{"en", "AU", 0x0C09}, t_locale_language{"en", "CA", 0x1009},
    t_locale_language{"en", "NZ", 0x1409}, t_locale_language{"en", "IE", 0x1809},
    t_locale_language{"en", "ZA", 0x1C09}, t_locale_language{"en", "IN", 0x4009},
    t_locale_language{"es", "", 0x0C0A},   t_locale_language{"es", "MX", 0x080A},
    t_locale_language{"es", "CO", 0x240A}, t_locale_language{"es", "AR", 0x2C0A},
    t_locale_language{"es", "CL", 0x340A}, t_locale_language{"es", "US", 0x540A},
    t_locale_language{"fi", "", 0x040B},   t_locale_language{"fr", "", 0x040C},
    t_locale_language{"fr", "BE", 0x080C}, t_locale_language{"fr", "CA", 0x0C0C},
    t_locale_language{"fr", "CH", 0x100C}, t_locale_language{"fr", "LU", 0x140C},
    t_locale_language{"he", "", 0x040D},   t_locale_language{"hu", "", 0x040E},
    t_locale_language{"is", "", 0x040F},   t_locale_language{"it", "", 0x0410},
    t_locale_language{"it", "CH", 0x0810}, t_locale_language{"ja", "", 0x0411},
    t_locale_language{"ko", "", 0x0412},   t_locale_language{"nl", "", 0x0413},
    t_locale_language{"nl", "BE", 0x0813}, t_locale_language{"nb", "", 0x0414},
    t_locale_language{"no", "", 0x0414},   t_locale_language{"nn", "", 0x0814},
    t_locale_language{"pl", "", 0x0415},   t_locale_language{"pt", "", 0x0816},
    t_locale_language{"pt", "BR", 0x0416}, t_locale_language{"ro", "", 0x0418},
    t_locale_language{"ru", "", 0x0419},   t_locale_language{"hr", "", 0x041A},
    t_locale_language{"sk", "", 0x041B},   t_locale_language{"sq", "", 0x041C},
    t_locale_language{"sv", "", 0x041D},   t_locale_language{"sv", "FI", 0x081D},
    t_locale_language{"th", "", 0x041E},   t_locale_language{"tr", "", 0x041F},
    t_locale_language{"id", "", 0x0421},   t_locale_language{"uk", "", 0x0422},
    t_locale_language{"be", "", 0x0423},   t_locale_language{"sl", "", 0x0424},
    t_locale_language{"et", "", 0x0425},   t_locale_language{"lv", "", 0x0426},
    t_locale_language{"lt", "", 0x0427},   t_locale_language{"vi", "", 0x042A},
    t_locale_language{"hi", "", 0x0439},   t_locale_language{"kk", "", 0x043F},
};

constexpr char to_lower(char c) noexcept
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char to_upper(char c) noexcept
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool equal_folded(std::string_view text, std::string_view wanted, char (*fold)(char)) noexcept
{
    if (text.size() != wanted.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (fold(text[i]) != wanted[i])
            return false;
    return true;
}

}  // namespace

std::optional<std::uint16_t> language_from_locale_name(std::string_view locale_name) noexcept
{
    // Drop ".codeset" and "@modifier"; split "language_COUNTRY" (some systems write a hyphen).
    const std::string_view base = locale_name.substr(0, locale_name.find_first_of(".@"));
    const std::size_t separator = base.find_first_of("_-");
    const std::string_view language = base.substr(0, separator);
    const std::string_view country =
        separator == std::string_view::npos ? std::string_view() : base.substr(separator + 1);
    if (language.empty() || base == "C" || base == "POSIX")
        return std::nullopt;

    std::optional<std::uint16_t> language_default;
    for (const t_locale_language& row : k_locale_languages)
    {
        if (!equal_folded(language, row.language, to_lower))
            continue;
        if (row.country.empty())
            language_default = row.langid;
        else if (equal_folded(country, row.country, to_upper))
            return row.langid;
    }
    return language_default;
}

}  // namespace voka::platform
