// The four resource commands of tarnwick. Each takes the program arguments, returns nothing and
// throws std::runtime_error with a message of tool_texts.h (or std::bad_alloc) on failure; none
// prints. Handles are released in reverse order of acquisition on every path.
#pragma once

#include "prog_args.h"

namespace tw
{

// Copies the bytes of the resource (type, name, language matched exactly) of the module, loaded
// as a data file and never run, into the file, created or truncated. A failure after the file
// was created leaves it as far as it was written.
void read_resource(const TW_ProgArgs& args);

// Replaces the resource by the file's bytes: delete, then add, in one update of the module.
void write_resource(const TW_ProgArgs& args);

// Adds the file's bytes as the resource (replacing data of the same type, name and language).
// An empty file passes no data, which deletes the resource.
void add_resource(const TW_ProgArgs& args);

// Deletes the resource from the module.
void delete_resource(const TW_ProgArgs& args);

}  // namespace tw
