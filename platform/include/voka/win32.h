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
#include <windows.h>
#include <process.h>
#else
#include "voka/posix/types.h"
#include "voka/posix/errors.h"
#include "voka/posix/text.h"
#include "voka/posix/resources.h"
#include "voka/posix/kernel.h"
#endif
