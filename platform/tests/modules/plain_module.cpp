// A module for the loader's tests without an entry point: it only exports a function.
extern "C" __attribute__((visibility("default"))) int voka_test_module_answer()
{
    return 7;
}
