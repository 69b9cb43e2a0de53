// The user's default language, read from the locale environment variables at each call, so the
// language fallback of FindResourceExW follows the environment a test or a user sets.
#include "locale_language.h"

#include <cstdlib>

namespace voka::platform
{

std::optional<std::uint16_t> user_default_language() noexcept
{
    // POSIX: LC_ALL overrides LC_MESSAGES, which overrides LANG; an empty value counts as unset.
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"})
    {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0')
            return language_from_locale_name(value);
    }
    return std::nullopt;
}

}  // namespace voka::platform
