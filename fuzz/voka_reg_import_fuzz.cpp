// Fuzzes the .reg file parser of voka-reg: any input either parses or is refused with the tool's
// error, never read outside its bytes; and whatever parses, written out again by the export
// writer (in both encodings), parses back to the very same keys and values.
#include "reg_file.h"
#include "tool_error.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace
{

bool same(const voka_reg::t_reg_file& a, const voka_reg::t_reg_file& b)
{
    if (a.keys.size() != b.keys.size())
        return false;
    for (std::size_t i = 0; i < a.keys.size(); ++i)
    {
        const voka_reg::t_reg_key& x = a.keys[i];
        const voka_reg::t_reg_key& y = b.keys[i];
        if (x.path != y.path || x.remove != y.remove || x.values.size() != y.values.size())
            return false;
        for (std::size_t j = 0; j < x.values.size(); ++j)
        {
            const voka_reg::t_reg_value& v = x.values[j];
            const voka_reg::t_reg_value& w = y.values[j];
            if (v.name != w.name || v.remove != w.remove ||
                (!v.remove && (v.type != w.type || v.data != w.data)))
                return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::uint8_t> bytes(data, data + size);
    voka_reg::t_reg_file file;
    try
    {
        file = voka_reg::parse_reg_file(bytes, "fuzz.reg");
    }
    catch (const voka_reg::t_tool_error&)
    {
        return 0;  // refused: fine
    }
    const std::wstring text = voka_reg::format_reg_file(file);
    for (const bool utf8 : {false, true})
    {
        voka_reg::t_reg_file again;
        try
        {
            again = voka_reg::parse_reg_file(voka_reg::encode_reg_text(text, utf8), "again.reg");
        }
        catch (const voka_reg::t_tool_error&)
        {
            __builtin_trap();  // the writer wrote something the parser refuses
        }
        if (!same(file, again))
            __builtin_trap();  // the round trip changed a key or value
    }
    return 0;
}
