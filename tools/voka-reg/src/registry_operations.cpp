// voka-reg's registry operations: query, add, delete, export and import, over the Win32 registry
// functions.
#include "registry_operations.h"

#include "tool_error.h"

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace voka_reg
{
namespace
{

// An open key; closed on every path. Move-only.
class t_open_key
{
public:
    t_open_key() noexcept = default;
    t_open_key(t_open_key&& other) noexcept : m_key(std::exchange(other.m_key, nullptr)) {}
    t_open_key& operator=(t_open_key&& other) noexcept
    {
        std::swap(m_key, other.m_key);
        return *this;
    }
    t_open_key(const t_open_key&) = delete;
    t_open_key& operator=(const t_open_key&) = delete;
    ~t_open_key()
    {
        if (m_key != nullptr)
            RegCloseKey(m_key);
    }

    HKEY get() const noexcept { return m_key; }
    HKEY* put() noexcept { return &m_key; }

private:
    HKEY m_key = nullptr;
};

t_open_key open_key(const t_key_path& path, REGSAM access)
{
    t_open_key key;
    const LSTATUS error = RegOpenKeyExW(path.root, path.sub_key.c_str(), 0, access, key.put());
    if (error != ERROR_SUCCESS)
        raise_win32_error("cannot open", path.full(), error);
    return key;
}

// How often a value is read again when it outgrows the buffers between two calls.
constexpr int k_read_tries = 8;

std::wstring value_label(const std::wstring& name, const t_key_path& path)
{
    return (name.empty() ? std::wstring(L"(Default)") : name) + L" of " + path.full();
}

// The values of `key` in creation order. RegQueryInfoKeyW only sizes the buffers: a value that
// appeared or grew since is read again with larger ones.
std::vector<t_listed_value> list_values(HKEY key, const t_key_path& path)
{
    DWORD longest_name = 0;
    DWORD largest = 0;
    const LSTATUS error = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr,
                                           nullptr, nullptr, &longest_name, &largest, nullptr,
                                           nullptr);
    if (error != ERROR_SUCCESS)
        raise_win32_error("cannot read", path.full(), error);
    std::vector<t_listed_value> values;
    std::vector<wchar_t> name(std::size_t{longest_name} + 1);
    t_bytes data(largest);
    for (DWORD index = 0;; ++index)
    {
        t_listed_value value;
        const LSTATUS read_error = read_listed_value(
            [key, index](LPWSTR name_buffer, LPDWORD name_size, LPDWORD type, LPBYTE data_buffer,
                         LPDWORD data_size)
            {
                return RegEnumValueW(key, index, name_buffer, name_size, nullptr, type,
                                     data_buffer, data_size);
            },
            name, data, value);
        if (read_error == ERROR_NO_MORE_ITEMS)
            return values;
        if (read_error != ERROR_SUCCESS)
            raise_win32_error("cannot list the values of", path.full(), read_error);
        values.push_back(std::move(value));
    }
}

// The names of the sub keys of `key` in listing order.
std::vector<std::wstring> list_sub_keys(HKEY key, const t_key_path& path)
{
    std::vector<std::wstring> names;
    for (DWORD index = 0;; ++index)
    {
        wchar_t name[256];
        DWORD size = 256;
        const LSTATUS error =
            RegEnumKeyExW(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (error == ERROR_NO_MORE_ITEMS)
            return names;
        if (error != ERROR_SUCCESS)
            raise_win32_error("cannot list the sub keys of", path.full(), error);
        names.emplace_back(name, size);
    }
}

std::wstring value_line(const t_listed_value& value)
{
    return L"    " + (value.name.empty() ? std::wstring(L"(Default)") : value.name) + L"    " +
           type_name(value.type) + L"    " + data_to_text(value.type, value.data) + L"\n";
}

void query_block(const t_key_path& path, bool recursive, std::wstring& out)
{
    const t_open_key key = open_key(path, KEY_READ);
    out += path.full() + L"\n";
    for (const t_listed_value& value : list_values(key.get(), path))
        out += value_line(value);
    const std::vector<std::wstring> sub_keys = list_sub_keys(key.get(), path);
    for (const std::wstring& name : sub_keys)
    {
        if (recursive)
        {
            out += L"\n";
            query_block(path.child(name), true, out);
        }
        else
        {
            if (&name == &sub_keys.front())
                out += L"\n";
            out += path.child(name).full() + L"\n";
        }
    }
}

void delete_tree(const t_key_path& path)
{
    {
        const t_open_key key = open_key(path, KEY_READ);
        // Listed first, then deleted: the listing does not shift under the deletions.
        for (const std::wstring& name : list_sub_keys(key.get(), path))
            delete_tree(path.child(name));
    }
    const LSTATUS error = RegDeleteKeyW(path.root, path.sub_key.c_str());
    if (error != ERROR_SUCCESS)
        raise_win32_error("cannot delete", path.full(), error);
}

void export_tree(const t_key_path& path, t_reg_file& file)
{
    const t_open_key key = open_key(path, KEY_READ);
    t_reg_key block;
    block.path = path.full();
    for (t_listed_value& value : list_values(key.get(), path))
    {
        t_reg_value exported;
        exported.name = std::move(value.name);
        exported.type = value.type;
        exported.data = std::move(value.data);
        block.values.push_back(std::move(exported));
    }
    file.keys.push_back(std::move(block));
    for (const std::wstring& name : list_sub_keys(key.get(), path))
        export_tree(path.child(name), file);
}

}  // namespace

LSTATUS read_listed_value(const t_enum_value_call& call, std::vector<wchar_t>& name, t_bytes& data,
                          t_listed_value& value)
{
    // The longest value name and its 0 always fit in this many wide characters.
    constexpr std::size_t k_largest_name_buffer = k_max_value_name_length + 1;
    if (name.empty())
        name.resize(1);
    if (data.empty())
        data.resize(1);
    for (int attempt = 0; attempt < k_read_tries; ++attempt)
    {
        DWORD name_size = static_cast<DWORD>(name.size());
        DWORD data_size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        const LSTATUS error = call(name.data(), &name_size, &type, data.data(), &data_size);
        if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA)
            return error;
        // ERROR_MORE_DATA with data that fitted means the name did not (its size is left as it
        // was); with data that did not fit, the name is found out on the next call.
        const bool name_fits =
            error == ERROR_SUCCESS ? name_size < name.size() : data_size > data.size();
        if (error == ERROR_SUCCESS && name_fits && data_size <= data.size())
        {
            value.name.assign(name.data(), name_size);
            value.type = type;
            value.data.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(data_size));
            return ERROR_SUCCESS;
        }
        // Data that did not fit reports the size it needs; when the data fitted, the name did not.
        if (data_size > data.size())
            data.resize(data_size);
        if (!name_fits)
            name.resize(std::max(name.size(), k_largest_name_buffer));
    }
    return ERROR_MORE_DATA;
}

std::wstring query_key(const t_key_path& path, const t_value_selection& selection, bool recursive)
{
    if (!selection.name)
    {
        std::wstring out;
        query_block(path, recursive, out);
        return out;
    }
    const t_open_key key = open_key(path, KEY_READ);
    t_listed_value value;
    value.name = *selection.name;
    // Never a null data buffer: a call without one reports a size but reads nothing, and the
    // value may appear or grow before the next call.
    t_bytes buffer(1);
    LSTATUS error = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < k_read_tries && error == ERROR_MORE_DATA; ++attempt)
    {
        DWORD size = static_cast<DWORD>(buffer.size());
        error = RegQueryValueExW(key.get(), value.name.c_str(), nullptr, &value.type,
                                 buffer.data(), &size);
        if (error == ERROR_SUCCESS && size <= buffer.size())
        {
            value.data.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size));
            return path.full() + L"\n" + value_line(value);
        }
        if (size > buffer.size())
        {
            buffer.resize(size);
            error = ERROR_MORE_DATA;
        }
    }
    raise_win32_error("cannot read value", value_label(value.name, path), error);
}

void add_value(const t_key_path& path, const std::optional<std::wstring>& name, DWORD type,
               const t_bytes& data)
{
    t_open_key key;
    LSTATUS error =
        RegCreateKeyExW(path.root, path.sub_key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, key.put(), nullptr);
    if (error != ERROR_SUCCESS)
        raise_win32_error("cannot create", path.full(), error);
    if (!name)
        return;
    error = RegSetValueExW(key.get(), name->c_str(), 0, type, data.empty() ? nullptr : data.data(),
                           static_cast<DWORD>(data.size()));
    if (error != ERROR_SUCCESS)
        raise_win32_error("cannot set value", value_label(*name, path), error);
}

void delete_key_or_values(const t_key_path& path, const t_value_selection& selection)
{
    if (!selection.name && !selection.all)
    {
        if (path.sub_key.empty())
            raise_error("cannot delete the root key " + to_utf8(path.full()));
        delete_tree(path);
        return;
    }
    const t_open_key key = open_key(path, KEY_READ | KEY_SET_VALUE);
    std::vector<std::wstring> names;
    if (selection.all)
        for (t_listed_value& value : list_values(key.get(), path))
            names.push_back(std::move(value.name));
    else
        names.push_back(*selection.name);
    for (const std::wstring& name : names)
    {
        const LSTATUS error = RegDeleteValueW(key.get(), name.c_str());
        if (error != ERROR_SUCCESS)
            raise_win32_error("cannot delete value", value_label(name, path), error);
    }
}

t_reg_file export_key(const t_key_path& path)
{
    t_reg_file file;
    export_tree(path, file);
    return file;
}

void import_reg_file(const t_reg_file& file, const std::string& source)
{
    // Key paths and names that the registry would refuse are found here, before the first
    // change.
    std::vector<t_key_path> paths;
    for (const t_reg_key& key : file.keys)
    {
        const auto refuse = [&](std::size_t line, const std::string& what)
        { raise_error(source + " line " + std::to_string(line) + ": " + what); };
        try
        {
            paths.push_back(parse_key_path(key.path));
            check_key_names(paths.back());
        }
        catch (const t_tool_error& error)
        {
            refuse(key.line, error.what());
        }
        if (paths.back().sub_key.empty() && key.remove)
            refuse(key.line, "cannot delete the root key " + to_utf8(paths.back().full()));
        for (const t_reg_value& value : key.values)
            if (!value.remove && utf16_length(value.name) > k_max_value_name_length)
                refuse(value.line, "a value name longer than " +
                                       std::to_string(k_max_value_name_length) + " characters");
    }
    for (std::size_t i = 0; i < file.keys.size(); ++i)
    {
        const t_reg_key& block = file.keys[i];
        const t_key_path& path = paths[i];
        if (block.remove)
        {
            t_open_key probe;
            if (RegOpenKeyExW(path.root, path.sub_key.c_str(), 0, KEY_READ, probe.put()) ==
                ERROR_FILE_NOT_FOUND)
                continue;
            delete_tree(path);
            continue;
        }
        t_open_key key;
        LSTATUS error =
            RegCreateKeyExW(path.root, path.sub_key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_WRITE, nullptr, key.put(), nullptr);
        if (error != ERROR_SUCCESS)
            raise_win32_error("cannot create", path.full(), error);
        for (const t_reg_value& value : block.values)
        {
            if (value.remove)
            {
                error = RegDeleteValueW(key.get(), value.name.c_str());
                if (error == ERROR_FILE_NOT_FOUND)
                    continue;
            }
            else
            {
                error = RegSetValueExW(key.get(), value.name.c_str(), 0, value.type,
                                       value.data.empty() ? nullptr : value.data.data(),
                                       static_cast<DWORD>(value.data.size()));
            }
            if (error != ERROR_SUCCESS)
                raise_win32_error(value.remove ? "cannot delete value" : "cannot set value",
                                  value_label(value.name, path), error);
        }
    }
}

}  // namespace voka_reg
