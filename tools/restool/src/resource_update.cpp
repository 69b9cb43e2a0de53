// The commands that change a module: write, add and del, each one resource update that is
// committed only when every step succeeded.
#include "file_holder.h"
#include "resource_operations.h"
#include "source_file.h"
#include "tool_failure.h"
#include "tool_texts.h"
#include "update_holder.h"
#include "voka/win32.h"

#include <vector>

namespace tw
{
namespace
{

// Reads the last error of the call that just failed and throws `message_template` with it.
[[noreturn]] void raise_last_error(const char* message_template)
{
    const DWORD error = ::GetLastError();
    raise_failure(message_template, error);
}

void begin_update(t_update_holder& update, const TW_ProgArgs& args)
{
    if (!update.begin(args.module_name()))
        raise_last_error(texts::begin_update_failed);
}

void delete_from(t_update_holder& update, const TW_ProgArgs& args)
{
    if (!update.delete_resource(args.type_name(), args.resource_name(), args.language()))
        raise_last_error(texts::delete_resource_failed);
}

void add_to(t_update_holder& update, const TW_ProgArgs& args, std::vector<BYTE>& data)
{
    if (!update.add_resource(args.type_name(), args.resource_name(), args.language(), data))
        raise_last_error(texts::add_resource_failed);
}

void commit(t_update_holder& update)
{
    if (!update.commit())
        raise_last_error(texts::commit_failed);
}

// Puts the source file's bytes into the module, deleting the resource first when asked.
void update_from_file(const TW_ProgArgs& args, bool delete_first)
{
    // Declared in acquisition order, released in reverse: update, buffer, file.
    t_file_holder source;
    std::vector<BYTE> data;
    read_source_file(args.file_name(), source, data);

    t_update_holder update;
    begin_update(update, args);
    if (delete_first)
        delete_from(update, args);
    add_to(update, args, data);
    commit(update);
}

}  // namespace

void write_resource(const TW_ProgArgs& args)
{
    update_from_file(args, true);
}

void add_resource(const TW_ProgArgs& args)
{
    update_from_file(args, false);
}

void delete_resource(const TW_ProgArgs& args)
{
    t_update_holder update;
    begin_update(update, args);
    delete_from(update, args);
    commit(update);
}

}  // namespace tw
