// The one header through which all code outside platform/ reaches the Windows API.
// On Windows it is the SDK itself; elsewhere it declares the subset that the
// platform layer implements with Windows semantics. Functions outside the subset
// are not declared at all.
#pragma once

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
// clang-format off
#include <windows.h>
#include <ole2.h>
#include <cguid.h>
#include <process.h>
// clang-format on
#else
// clang-format off
#include "voka/posix/types.h"
#include "voka/posix/command_line.h"
#include "voka/posix/errors.h"
#include "voka/posix/files.h"
#include "voka/posix/heap.h"
#include "voka/posix/kernel.h"
#include "voka/posix/modules.h"
#include "voka/posix/ole32.h"
#include "voka/posix/registry.h"
#include "voka/posix/resource_update.h"
#include "voka/posix/resources.h"
#include "voka/posix/text.h"
// clang-format on
#endif
