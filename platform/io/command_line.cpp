// GetCommandLineW: the process's command line rebuilt from its argument vector.
//
// The vector is captured before main: an ELF initialiser in .init_array receives argc, argv and
// envp from the C library (glibc passes them to every initialiser of the executable and of shared
// objects). This file defines GetCommandLineW too, so whenever a program calls it the initialiser
// is linked in with it. Capturing early reads the arguments as the program was started, before
// main or a library can rewrite argv (as setproctitle-style code does). Where the initialiser did
// not run or was given nothing, /proc/self/cmdline supplies the vector. The text is built on the
// first call, under std::call_once, and never changes or goes away afterwards.
#include "utf8_codec.h"
#include "voka/win32.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace
{

struct t_command_line
{
    std::vector<std::string> arguments;  // written by the initialiser, before any thread starts
    std::once_flag built;
    std::wstring text;  // written once under `built`
};

// Never destroyed: the pointer GetCommandLineW returns stays valid while static destructors run.
t_command_line& command_line() noexcept
{
    union t_never_destroyed
    {
        t_command_line state;
        t_never_destroyed() : state() {}
        ~t_never_destroyed() {}
    };
    static t_never_destroyed holder;
    return holder.state;
}

void capture_arguments(int count, char** arguments, char**) noexcept
{
    if (count <= 0 || arguments == nullptr)
        return;
    try
    {
        std::vector<std::string>& captured = command_line().arguments;
        for (int index = 0; index < count && arguments[index] != nullptr; ++index)
            captured.emplace_back(arguments[index]);
    }
    catch (...)
    {
        command_line().arguments.clear();  // the fallback reads /proc instead
    }
}

// The C library calls every function listed in .init_array with (argc, argv, envp).
__attribute__((section(".init_array"),
               used)) void (*g_capture_arguments)(int, char**, char**) = &capture_arguments;

std::vector<std::string> arguments_from_proc()
{
    std::vector<std::string> arguments;
    std::FILE* file = std::fopen("/proc/self/cmdline", "rb");
    if (file == nullptr)
        return arguments;
    std::string all;
    char buffer[4096];
    std::size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof(buffer), file)) > 0)
        all.append(buffer, count);
    std::fclose(file);
    // Each argument ends with a NUL.
    std::size_t start = 0;
    while (start < all.size())
    {
        const std::size_t end = all.find('\0', start);
        const std::size_t stop = end == std::string::npos ? all.size() : end;
        arguments.emplace_back(all, start, stop - start);
        start = stop + 1;
    }
    return arguments;
}

bool needs_quotes(std::string_view argument) noexcept
{
    return argument.empty() || argument.front() == '/' ||
           argument.find_first_of(" \t\n\v\f\r") != std::string_view::npos;
}

std::wstring build_command_line(const std::vector<std::string>& arguments)
{
    std::string text;
    for (const std::string& argument : arguments)
    {
        if (!text.empty())
            text += ' ';
        if (needs_quotes(argument))
        {
            text += '"';
            text += argument;
            text += '"';
        }
        else
        {
            text += argument;
        }
    }
    return voka::platform::io::utf8_to_wide(text);
}

}  // namespace

LPWSTR WINAPI GetCommandLineW()
{
    t_command_line& state = command_line();
    std::call_once(state.built,
                   [&state]
                   {
                       try
                       {
                           state.text = build_command_line(
                               state.arguments.empty() ? arguments_from_proc() : state.arguments);
                       }
                       catch (...)
                       {
                           state.text.clear();  // out of memory: an empty command line
                       }
                   });
    // Windows hands out a writable buffer; callers that write into it own the consequences.
    return state.text.data();
}
