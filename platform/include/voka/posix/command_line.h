// The process's command line for POSIX hosts.
#pragma once

#include "voka/posix/types.h"

// Windows: the command line of the process, as one string, valid (and the same pointer) for the
// process's lifetime. POSIX starts programs with an argument vector, not a string, so the layer
// rebuilds one from the vector the process was started with: each argument that is empty,
// contains white space or begins with '/' is enclosed in double quotes, the others are taken as
// they are, and the arguments are joined with single blanks. Absolute paths thus arrive as quoted
// values, and switches are written with '-'. A double quote inside an argument has no escaped
// form and is kept as it is. The arguments are converted from UTF-8 (invalid bytes become
// U+FFFD). The vector is captured as the process starts (an ELF initialiser, which the C library
// hands the arguments), before main can change it; where that did not run it is read from
// /proc/self/cmdline. Never NULL; built once, thread-safe.
LPWSTR WINAPI GetCommandLineW();
