// voka-reg's program flow: one catch turns every failure into the ERROR line.
#include "program_flow.h"

#include "command_line.h"
#include "reg_file.h"
#include "registry_operations.h"
#include "tool_error.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>

namespace voka_reg
{
namespace
{

std::vector<std::uint8_t> read_file(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        raise_error("cannot read " + path);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                    std::istreambuf_iterator<char>());
    if (file.bad())
        raise_error("cannot read " + path);
    return bytes;
}

void write_file(const std::string& path, const std::vector<std::uint8_t>& bytes, bool overwrite)
{
    std::error_code ignored;
    if (!overwrite && std::filesystem::exists(path, ignored))
        raise_error(path + " exists (use -y to overwrite it)");
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file)
        raise_error("cannot write " + path);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file)
        raise_error("cannot write " + path);
}

void run(const t_arguments& arguments, std::ostream& out)
{
    switch (arguments.command)
    {
    case t_command::help:
        out << help_text();
        break;
    case t_command::query:
        out << to_utf8(query_key(*arguments.key, arguments.values, arguments.recursive));
        break;
    case t_command::add:
        add_value(*arguments.key, arguments.values.name, arguments.type,
                  arguments.values.name ? data_from_text(arguments.type, arguments.data)
                                        : t_bytes{});
        break;
    case t_command::remove:
        delete_key_or_values(*arguments.key, arguments.values);
        break;
    case t_command::export_key:
    {
        const t_reg_file file = export_key(*arguments.key);
        write_file(arguments.file, encode_reg_text(format_reg_file(file), arguments.utf8),
                   arguments.overwrite);
        break;
    }
    case t_command::import_file:
        import_reg_file(parse_reg_file(read_file(arguments.file), arguments.file), arguments.file);
        break;
    }
}

}  // namespace

int run_voka_reg(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err)
{
    try
    {
        run(parse_command_line(arguments), out);
        out.flush();
        return 0;
    }
    catch (const t_tool_error& error)
    {
        err << "ERROR: " << error.what() << "\n";
    }
    catch (const std::bad_alloc&)
    {
        err << "ERROR: not enough memory\n";
    }
    catch (const std::exception& error)
    {
        err << "ERROR: " << error.what() << "\n";
    }
    return -1;
}

}  // namespace voka_reg
