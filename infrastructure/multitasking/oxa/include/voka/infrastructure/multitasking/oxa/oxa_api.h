// How the task library's exported names are declared: exported when the library itself is built
// (VOKA_OXA_BUILDING_LIBRARY), imported by its clients.
#pragma once

#if defined(_WIN32)
#if defined(VOKA_OXA_BUILDING_LIBRARY)
#define OXA_API __declspec(dllexport)
#else
#define OXA_API __declspec(dllimport)
#endif
#else
#define OXA_API __attribute__((visibility("default")))
#endif
