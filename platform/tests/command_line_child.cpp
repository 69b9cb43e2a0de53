// A program for the command-line tests: prints the code points of GetCommandLineW() in decimal,
// one per line, so the test compares them exactly whatever their encoding.
#include "voka/win32.h"

#include <cstdio>

int main()
{
    for (const wchar_t* character = GetCommandLineW(); *character != L'\0'; ++character)
        std::printf("%u\n", static_cast<unsigned>(*character));
    return 0;
}
