# fuzz_pe_updater: the resource updater end to end through the Win32 functions, on a temporary
# module file (see the source). Seeds come from fuzz_pe_seeds (pe_reader.cmake).
voka_add_fuzzer(fuzz_pe_updater SOURCES pe_updater_fuzz.cpp LIBS voka_platform)
