// Fuzz target for glossel's text loader and tag transformation on arbitrary bytes.
// Checks that the loader walk gives back the text with every line break as one line
// feed, that walk() agrees with the plain loop, that the transformation fails only
// with its own _MC messages, and that text without a slash or an underscore is copied
// unchanged.
#include "tag_transformer.h"
#include "text_loader.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>

namespace
{

using structure::t_text_loader;
using structure::t_text_position;

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "fuzz_glossel: %s\n", what);
    std::abort();
}

std::string normalized(const std::string& text)
{
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] == '\r')
        {
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            result += '\n';
        }
        else
        {
            result += text[i];
        }
    }
    return result;
}

void check_loader(const std::string& text, const std::string& expected)
{
    std::istringstream source(text);
    t_text_loader loader(source);
    std::string walked;
    t_text_position position = t_text_position::start();
    for (loader.next_position(position); !position.is_end(); loader.next_position(position))
        walked += loader.get_char(position);
    if (walked != expected)
        fail("the loader walk differs from the text");

    // walk() from the start over the loaded text, stopping after each line feed.
    std::string visited;
    position = t_text_position::start();
    loader.next_position(position);
    while (!position.is_end())
    {
        t_text_position before = position;
        loader.walk(position,
                    [&](char c)
                    {
                        visited += c;
                        return c == '\n' ? t_text_loader::t_walk::stop_after
                                         : t_text_loader::t_walk::next;
                    });
        if (position == before)
            fail("walk() did not move");
    }
    if (visited != expected)
        fail("walk() differs from the text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string expected = normalized(text);
    check_loader(text, expected);

    std::istringstream source(text);
    std::ostringstream destination;
    structure::t_tag_transformer transformer(source, destination);
    try
    {
        transformer.run();
    }
    catch (const std::runtime_error& error)
    {
        if (std::string(error.what()).rfind("[tag _MC] ", 0) != 0)
            fail("unexpected failure");
        if (text.find("_MC") == std::string::npos)
            fail("an _MC failure without _MC");
        return 0;
    }
    if (!destination)
        fail("the destination failed");
    if (text.find_first_of("/_") == std::string::npos && destination.str() != expected)
        fail("plain text was not copied unchanged");
    return 0;
}
