// An error record: a counted object that describes one failure, and the two
// interfaces through which an exception exposes its records.
#pragma once

#include "voka/infrastructure/core/smart_interface.h"

#include <cstdint>
#include <string>

namespace voka::infrastructure::core::structure
{

// Kinds of error code a record reports.
enum : std::int32_t
{
    err_kind_private = 0,  // a code private to the record's traits
    err_kind_win32 = 1,    // a Win32 error code
    err_kind_hresult = 2,  // an HRESULT
};

// The language pair of get_description and get_help: a non-zero `use_neutral_lang`
// asks for the language-neutral text (language 0), otherwise `lang_id` (low 16 bits).
class t_err_record : public t_smart_interface
{
public:
    // The narrow (ANSI) text used as what(); valid while the record lives and until
    // the next call on the same record.
    virtual const char* get_text() = 0;
    virtual std::int32_t get_error_kind() = 0;
    virtual std::int32_t get_value2() = 0;
    virtual std::int32_t get_error_code() = 0;
    // Fills each text that is asked for (non-null); true when every asked text was
    // found in its text source.
    virtual bool get_description(std::int32_t use_neutral_lang, std::int32_t lang_id,
                                 std::wstring* source, std::wstring* description) = 0;
    virtual bool get_help(std::int32_t use_neutral_lang, std::int32_t lang_id,
                          std::wstring* help_file, std::int32_t* help_context) = 0;

protected:
    ~t_err_record() = default;
};

using t_err_record_ptr = t_smart_object_ptr<t_err_record>;

// Read access to the records an exception carries.
class t_err_records_r
{
public:
    t_err_records_r() = default;
    t_err_records_r(const t_err_records_r&) = default;
    t_err_records_r& operator=(const t_err_records_r&) = delete;
    virtual ~t_err_records_r() = default;

    virtual std::int32_t get_record_count() const = 0;
    // `index` must be below get_record_count().
    virtual t_err_record_ptr get_record(std::int32_t index) const = 0;
};

// Appending records to an exception.
class t_err_records_w
{
public:
    t_err_records_w() = default;
    t_err_records_w(const t_err_records_w&) = default;
    t_err_records_w& operator=(const t_err_records_w&) = delete;
    virtual ~t_err_records_w() = default;

    virtual void add_record(t_err_record* record) = 0;
};

}  // namespace voka::infrastructure::core::structure
