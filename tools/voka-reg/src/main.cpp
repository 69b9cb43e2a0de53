// voka-reg: looks at and changes the registry on a host without regedit (see program_flow.h).
#include "program_flow.h"

#include <iostream>

int main(int argc, char* argv[])
{
    return voka_reg::run_voka_reg(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                                  std::cerr);
}
