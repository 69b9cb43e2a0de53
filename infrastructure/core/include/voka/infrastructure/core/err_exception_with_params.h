// The exception that carries a record with parameters and any further records.
//
//   throw structure::t_err_exception_with_params<t_record, wchar_t>(code)
//       .add_str_arg(name);
//
// Copies share their records; records are never duplicated.
#pragma once

#include "voka/infrastructure/core/err_record_with_params.h"
#include "voka/infrastructure/core/exception.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace structure
{

using voka::infrastructure::core::structure::t_err_records_w;
using voka::infrastructure::core::structure::t_exception;

template <typename t_record, typename t_char>
class t_err_exception_with_params
    : public t_basic_str_args<t_char, t_err_exception_with_params<t_record, t_char>>,
      public t_err_records_r,
      public t_err_records_w,
      public virtual t_exception
{
public:
    using string_type = std::basic_string<t_char>;

    // Creates the primary record from the traits' arguments (an error code).
    template <typename... t_args>
    requires(sizeof...(t_args) != 1 ||
             !(std::is_base_of_v<t_err_exception_with_params, std::remove_cvref_t<t_args>> &&
               ...)) explicit t_err_exception_with_params(t_args&&... args)
        : m_record(make_smart<t_record>(std::forward<t_args>(args)...))
    {
        m_records.push_back(t_err_record_ptr(m_record.get()));
    }

    t_err_exception_with_params(const t_err_exception_with_params& other)
        : t_exception(other), t_basic_str_args<t_char, t_err_exception_with_params>(other),
          t_err_records_r(other), t_err_records_w(other), m_record(other.m_record),
          m_records(other.m_records)
    {
    }

    t_err_exception_with_params& operator=(const t_err_exception_with_params&) = delete;

    ~t_err_exception_with_params() override
    {
        m_records.clear();
        m_record.reset();
    }

    // Arguments go to the primary record while no further record was added.
    t_err_exception_with_params& add_str_arg(const string_type& text) override
    {
        require_record("add_str_arg");
        m_record->add_str_arg(text);
        return *this;
    }

    t_err_exception_with_params& add_exception_arg(const std::exception& error) override
    {
        require_record("add_exception_arg");
        m_record->add_exception_arg(error);
        return *this;
    }

    std::int32_t get_record_count() const override
    {
        return static_cast<std::int32_t>(m_records.size());
    }

    t_err_record_ptr get_record(std::int32_t index) const override
    {
        return m_records[static_cast<std::size_t>(index)];
    }

    // Appends a record; from then on no argument can be added through the exception.
    void add_record(t_err_record* record) override
    {
        m_records.push_back(t_err_record_ptr(record));
        m_record.reset();
    }

    const char* what() const noexcept override
    {
        if (m_records.empty())
            return "Error without description.";
        return m_records.front()->get_text();
    }

    [[noreturn]] void raise() const override { throw t_err_exception_with_params(*this); }

    // The record arguments still go to; null once a further record was added.
    t_record* current_record() const noexcept { return m_record.get(); }

private:
    void require_record(const char* method) const
    {
        if (!m_record)
            throw std::runtime_error(std::string("[BUG CHECK] t_err_exception_with_params::") +
                                     method + " [#001]");
    }

    t_smart_object_ptr<t_record> m_record;
    std::vector<t_err_record_ptr> m_records;
};

}  // namespace structure
