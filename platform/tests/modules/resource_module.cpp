// A module for the tests of data-file loading of ELF files: its resources come from
// resource_module.resources through voka_add_module_resources.
extern "C" __attribute__((visibility("default"))) int voka_test_resource_module_answer()
{
    return 11;
}
