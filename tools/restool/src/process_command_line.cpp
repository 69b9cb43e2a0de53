// The program arguments of the running process, from its command line.
#include "prog_args.h"
#include "voka/win32.h"

namespace tw
{

TW_ProgArgs::t_ptr TW_ProgArgs::Create()
{
    return Create(::GetCommandLineW());
}

}  // namespace tw
