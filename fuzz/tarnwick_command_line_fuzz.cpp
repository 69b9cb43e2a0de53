// Fuzzes tarnwick's command line: the parser and the program-argument checks on any text.
// Every input must end in arguments or in one of the tool's exceptions, never in a crash.
#include "prog_args.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <new>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Two bytes per character, as a UTF-16 command line would come.
    std::wstring line;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        line += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    try
    {
        const tw::TW_ProgArgs::t_ptr args = tw::TW_ProgArgs::Create(line.c_str());
        if (!args || args->command() < 1 || args->command() > 5)
            __builtin_trap();
    }
    catch (const std::bad_alloc&)
    {
        throw;
    }
    catch (const std::exception& error)
    {
        if (error.what() == nullptr || error.what()[0] == '\0')
            __builtin_trap();
    }
    return 0;
}
