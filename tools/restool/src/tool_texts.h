// Every message tarnwick prints, in one place. `%1`, `%2` are filled by the narrow message
// formatter: names converted to the ANSI code page, error codes and counts in unsigned decimal.
#pragma once

namespace tw::texts
{

// Program arguments.
inline constexpr const char* bug_check_create = "[BUG CHECK] TW_ProgArgs::Create [#001]";
inline constexpr const char* multiple_primary = "Command line contains multiple primary commands.";
inline constexpr const char* incorrect_command_line = "Incorrect command line.";
inline constexpr const char* multiple_definition =
    "Command line contains multiple defintion of parameter [%1].";
inline constexpr const char* empty_value = "Command line contains empty value of parameter [%1].";
inline constexpr const char* bad_id_value = "Incorrect value of numeric resource identifier.";
inline constexpr const char* id_not_word =
    "Failed to convert a numeric resource identifier to WORD.";
inline constexpr const char* bad_lang_value = "Incorrect value of numeric language identifier.";
inline constexpr const char* lang_not_word =
    "Failed to convert a numeric language identifier to WORD.";
inline constexpr const char* unknown_argument = "Unknown command line argument: [%1].";
inline constexpr const char* no_primary = "Command line does not contain primary command";
inline constexpr const char* no_target_file = "Command line does not contain the target file name";
inline constexpr const char* no_source_module =
    "Command line does not contain the source module name";
inline constexpr const char* no_source_file = "Command line does not contain the source file name";
inline constexpr const char* no_target_module =
    "Command line does not contain the target module name";
inline constexpr const char* no_module = "Command line does not contain the module name";
inline constexpr const char* no_type = "Resource type name not defined";
inline constexpr const char* no_lang = "Resource language not defined";
inline constexpr const char* no_identifier = "Resource identifier not defined";

// Resource operations.
inline constexpr const char* load_module_failed =
    "Failed to load the module [%1]. Win32 Error Code: %2.";
inline constexpr const char* resource_not_found = "Resource not found";
inline constexpr const char* load_resource_failed = "Failed to load resource";
inline constexpr const char* lock_resource_failed = "Failed to lock resource";
inline constexpr const char* create_dest_failed =
    "Failed to create dest file [%1]. Win32 Error Code: %2.";
inline constexpr const char* write_file_failed = "Failed to write file. Win32 Error Code: %1.";
inline constexpr const char* close_file_failed = "Failed to close file. Win32 Error Code: %1.";
inline constexpr const char* open_source_failed =
    "Failed to open source file [%1]. Win32 Error Code: %2.";
inline constexpr const char* file_size_failed = "Failed to get file size. Win32 Error Code: %1.";
inline constexpr const char* read_file_failed = "Failed to read file data. Win32 Error Code: %1.";
inline constexpr const char* short_read = "Readed wrong byte count: %1. Expected: %2.";
inline constexpr const char* begin_update_failed =
    "Failed to start update resource. Win32 Error Code: %1.";
inline constexpr const char* delete_resource_failed =
    "Failed to delete resource. Win32 Error Code: %1.";
inline constexpr const char* add_resource_failed = "Failed to add resource. Win32 Error Code: %1.";
inline constexpr const char* commit_failed =
    "Failed to commit resource update. Win32 Error Code: %1.";

// Program flow.
inline constexpr const char* bug_check_main = "[BUG CHECK] main [#001]";
inline constexpr const char* error_prefix = "ERROR: ";
inline constexpr const char* bad_allocation = "bad allocation";

}  // namespace tw::texts
