// glossel: rewrites a source text file into a destination file (see program_flow.h).
#include "program_flow.h"

#include <iostream>

int main(int argc, char* argv[])
{
    return structure::run_glossel(argc, argv, std::cout);
}
