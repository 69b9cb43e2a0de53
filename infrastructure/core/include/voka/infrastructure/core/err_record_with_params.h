// The record with parameters: an error record that keeps its arguments as objects
// and formats its description from a template when asked, in the language asked for.
//
// The traits type fixes where texts come from:
//   record_data_ext_type                      empty struct the record derives from
//   init(t_err_record_data&, args...)         fills a new record's fields
//   find_template(data, neutral, lang, text)  the template of data.message_id; false if missing
//   unknown_template(data, formatter)         parses and fills the text for a missing template
//   find_source(data, neutral, lang, text)    the source name; false if missing
//   critical_text()                           get_text's fallback when building fails
//   clear_help_file                           whether get_help empties a given help-file string
#pragma once

#include "voka/infrastructure/core/err_record.h"
#include "voka/infrastructure/core/exception.h"
#include "voka/infrastructure/core/message_formatter.h"
#include "voka/infrastructure/core/smart_interface_impl.h"
#include "voka/infrastructure/core/str_args.h"
#include "voka/infrastructure/core/text_converters.h"

#include <cstdint>
#include <string>
#include <vector>

namespace structure
{

using voka::infrastructure::core::structure::make_smart;
using voka::infrastructure::core::structure::t_err_record;
using voka::infrastructure::core::structure::t_err_record_ptr;
using voka::infrastructure::core::structure::t_err_records_r;
using voka::infrastructure::core::structure::t_smart_interface;
using voka::infrastructure::core::structure::t_smart_object_ptr;
using voka::lib::structure::t_basic_smart_interface_impl__dynamic;

// An argument that holds one wide string.
template <typename t_string>
class t_err_record_arg_string
    : public virtual t_basic_smart_interface_impl__dynamic<t_smart_interface>
{
public:
    explicit t_err_record_arg_string(t_string text) : m_text(std::move(text)) {}

    virtual bool get_text(std::int32_t /*use_neutral_lang*/, std::int32_t /*lang_id*/,
                          t_string& text)
    {
        text = m_text;
        return true;
    }

private:
    t_string m_text;
};

// Fields of a record with parameters, as its traits fill them.
struct t_err_record_data
{
    std::int32_t error_kind = 0;
    std::int32_t value2 = 0;
    std::int32_t error_code = 0;
    std::int32_t source_id = 0;
    std::int32_t message_id = 0;
    std::int32_t help_context = 0;
};

template <typename t_char>
class t_err_record_with_params_base
    : public t_basic_str_args<t_char, t_err_record_with_params_base<t_char>>,
      public t_basic_smart_interface_impl__dynamic<t_err_record>
{
public:
    using string_type = std::basic_string<t_char>;
    using arg_ptr = t_smart_object_ptr<t_smart_interface>;

    t_err_record_with_params_base& add_str_arg(const string_type& text) override
    {
        return add_object_arg(make_smart<t_err_record_arg_string<string_type>>(text).get());
    }

    // An exception that carries records contributes its first record; any other
    // exception its what() text.
    t_err_record_with_params_base& add_exception_arg(const std::exception& error) override
    {
        const auto* const records = dynamic_cast<const t_err_records_r*>(&error);
        if (records != nullptr && records->get_record_count() > 0)
        {
            const t_err_record_ptr first = records->get_record(0);
            return add_object_arg(first.get());
        }
        return t_basic_str_args<t_char, t_err_record_with_params_base>::add_exception_arg(error);
    }

    // Appends any counted object as the next argument; objects that are neither
    // string arguments nor records format as "?unk_arg_type?".
    t_err_record_with_params_base& add_object_arg(t_smart_interface* object)
    {
        m_args.push_back(arg_ptr(object));
        return *this;
    }

protected:
    // Fills `formatter` with every argument's text in the language asked for.
    void add_args_to(t_basic_message_formatter<t_char>& formatter, std::int32_t use_neutral_lang,
                     std::int32_t lang_id) const
    {
        for (const arg_ptr& arg : m_args)
        {
            string_type text;
            if (auto* const str = dynamic_cast<t_err_record_arg_string<string_type>*>(arg.get()))
            {
                str->get_text(use_neutral_lang, lang_id, text);
            }
            else if (auto* const record = dynamic_cast<t_err_record*>(arg.get()))
            {
                record->get_description(use_neutral_lang, lang_id, nullptr, &text);
            }
            else
            {
                text = unknown_arg_text();
            }
            formatter.add_arg(text);
        }
    }

private:
    static string_type unknown_arg_text()
    {
        const char* const text = "?unk_arg_type?";
        return string_type(text, text + 14);
    }

    std::vector<arg_ptr> m_args;
};

template <typename t_traits, typename t_char>
class t_err_record_with_params : public t_err_record_with_params_base<t_char>,
                                 public t_traits::record_data_ext_type
{
public:
    using string_type = std::basic_string<t_char>;

    template <typename... t_args>
    explicit t_err_record_with_params(t_args&&... args)
    {
        t_traits::init(m_data, std::forward<t_args>(args)...);
    }

    const char* get_text() override
    {
        try
        {
            string_type source;
            string_type description;
            get_description(0, 0, &source, &description);
            string_type text;
            if (source.empty())
            {
                text = std::move(description);
            }
            else
            {
                text += t_char('[');
                text += source;
                text += t_char(']');
                text += t_char(':');
                text += description;
            }
            std::string narrow;
            t_unicode_to_ansi::convert(narrow, text.c_str(), static_cast<int>(text.size()));
            if (m_text_cache != narrow)  // keeps earlier pointers valid while the text is the same
                m_text_cache.assign(narrow);
            return m_text_cache.c_str();
        }
        catch (...)
        {
            return t_traits::critical_text();
        }
    }

    std::int32_t get_error_kind() override { return m_data.error_kind; }
    std::int32_t get_value2() override { return m_data.value2; }
    std::int32_t get_error_code() override { return m_data.error_code; }

    bool get_description(std::int32_t use_neutral_lang, std::int32_t lang_id, std::wstring* source,
                         std::wstring* description) override
    {
        bool found = true;
        if (description != nullptr)
        {
            description->clear();
            string_type templ;
            t_basic_message_formatter<t_char> formatter(nullptr);
            if (t_traits::find_template(m_data, use_neutral_lang, lang_id, templ))
            {
                formatter = t_basic_message_formatter<t_char>(templ);
                this->add_args_to(formatter, use_neutral_lang, lang_id);
            }
            else
            {
                formatter = t_traits::unknown_template(m_data);
                found = false;
            }
            *description = formatter.build();
        }
        if (source != nullptr && !t_traits::find_source(m_data, use_neutral_lang, lang_id, *source))
            found = false;
        return found;
    }

    bool get_help(std::int32_t /*use_neutral_lang*/, std::int32_t /*lang_id*/,
                  std::wstring* help_file, std::int32_t* help_context) override
    {
        if (help_context != nullptr)
            *help_context = m_data.help_context;
        if (help_file == nullptr)
            return true;
        if (t_traits::clear_help_file)
            help_file->clear();
        return false;
    }

    const t_err_record_data& data() const noexcept { return m_data; }

private:
    t_err_record_data m_data;
    std::string m_text_cache;
};

}  // namespace structure
