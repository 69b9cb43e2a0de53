// tarnwick's program flow: the dispatch on the command and the one place that reports failures.
#include "program_flow.h"

#include "resource_operations.h"
#include "tool_failure.h"
#include "tool_options.h"
#include "tool_texts.h"

#include <exception>
#include <new>
#include <string>

namespace tw
{
namespace
{

int report_failure(std::ostream& out, const char* text)
{
    std::string line = texts::error_prefix;
    line += text;
    line += '\n';
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
    out.flush();
    return -1;
}

}  // namespace

void run_command(const TW_ProgArgs& args, std::ostream& out)
{
    switch (args.command())
    {
    case command_help:
        TW_ProgArgs::print_help(out);
        break;
    case command_read:
        read_resource(args);
        break;
    case command_write:
        write_resource(args);
        break;
    case command_delete:
        delete_resource(args);
        break;
    case command_add:
        add_resource(args);
        break;
    default:
        raise_failure(texts::bug_check_main);
    }
}

int run_tarnwick(std::ostream& out)
{
    try
    {
        TW_ProgArgs::t_ptr args = TW_ProgArgs::Create();
        run_command(*args, out);
        args.reset();
        return 0;
    }
    catch (const std::bad_alloc&)
    {
        // The C++ library's own text varies; the tool's is fixed.
        return report_failure(out, texts::bad_allocation);
    }
    catch (const std::exception& error)
    {
        return report_failure(out, error.what());
    }
}

}  // namespace tw
