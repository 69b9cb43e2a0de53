// The walk of the tag transformation: copy step, tag steps and word step per turn,
// over the text the loader reads in blocks.
#include "tag_transformer.h"

#include "char_classes.h"
#include "glossel_texts.h"

#include <cstring>
#include <stdexcept>

namespace structure
{

namespace
{

char to_upper_ascii(char c) noexcept
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

t_tag_transformer::t_tag_transformer(std::istream& source, std::ostream& destination)
    : m_loader(source), m_out(destination)
{
}

void t_tag_transformer::run()
{
    try
    {
        walk_turns();
    }
    catch (...)
    {
        m_out.flush();  // what was written before the failure stays written
        throw;
    }
    m_out.flush();
}

bool t_tag_transformer::load_more()
{
    const bool loaded = m_loader.load_block();
    m_text = m_loader.text();
    m_size = m_loader.text_size();
    return loaded;
}

void t_tag_transformer::walk_turns()
{
    t_offset offset = 0;
    while (available(offset))
    {
        // Only a quote, a slash or an underscore can start anything but white or a word.
        const char c = m_text[offset];
        if (c == '\'' || c == '"')
        {
            offset = copy_quoted_run(offset, c);
            continue;
        }
        if (c == '/' && comment_step(offset))
            continue;
        if (c == '_' && tag_steps(offset))
            continue;
        offset = plain_run(offset, c == '/' || c == '_');
    }
}

bool t_tag_transformer::comment_step(t_offset& offset)
{
    if (is(offset + 1, '/'))
    {
        offset = skip_line_comment(offset + 2);
        return true;
    }
    if (is(offset + 1, '*'))
    {
        offset = blank_block_comment(offset + 2);
        return true;
    }
    return false;
}

t_tag_transformer::t_offset t_tag_transformer::plain_run(t_offset offset, bool word_started)
{
    // White characters, words and delimiters, turn after turn, up to a character that
    // could start a quoted run, a comment or a tag where a new turn starts: after white
    // or a delimiter. Inside a word the same characters are copied as they are. The
    // word step writes the character that ends a word with it.
    t_text_writer::t_cursor out(m_out);
    bool turn_start = !word_started;
    while (available(offset))
    {
        const char* const first = m_text + offset;
        const char* const last = m_text + m_size;
        const char* const stop = t_char_classes::find_turn_step(first, last, turn_start);
        out.put(first, static_cast<std::size_t>(stop - first));
        offset += static_cast<t_offset>(stop - first);
        if (stop != last)
            break;
    }
    return offset;
}

t_tag_transformer::t_offset t_tag_transformer::copy_quoted_run(t_offset offset, char quote)
{
    // No escapes: the run ends at the next equal quote, or with the text.
    const t_offset closing = find(offset + 1, quote);
    const t_offset end = closing == not_found ? m_size : closing + 1;
    t_text_writer::t_cursor(m_out).put(m_text + offset, static_cast<std::size_t>(end - offset));
    return end;
}

t_tag_transformer::t_offset t_tag_transformer::skip_line_comment(t_offset offset)
{
    // The line feed that ends the comment is copied by the next turn.
    const t_offset feed = find(offset, '\n');
    return feed == not_found ? m_size : feed;
}

t_tag_transformer::t_offset t_tag_transformer::blank_block_comment(t_offset offset)
{
    // Every character becomes a space and every line break stays, so the text after
    // the comment keeps its line and column. The opener "/*" and the closer "*/" come
    // out as two spaces each; the closer's '*' is never the opener's.
    m_out.put(' ');
    m_out.put(' ');
    t_offset end = m_size;
    for (t_offset from = offset + 1;;)
    {
        const t_offset slash = find(from, '/');
        if (slash == not_found)
        {
            end = m_size;
            break;
        }
        if (m_text[slash - 1] == '*')
        {
            end = slash + 1;
            break;
        }
        from = slash + 1;
    }
    t_text_writer::t_cursor(m_out).put_blanked(m_text + offset,
                                               static_cast<std::size_t>(end - offset));
    return end;
}

bool t_tag_transformer::tag_steps(t_offset& offset)
{
    // Every tag's name starts with '_' and a letter of its own; the steps whose name
    // cannot match are left out, in the order of the steps.
    if (!available(offset + 1))
        return false;
    switch (m_text[offset + 1])
    {
    case 'T':
        // "_T" directly followed by 'x' can only be _Tx; otherwise only the two _T forms.
        if (is(offset + 2, 'x'))
            return tag_t_string(offset, true);
        return tag_t_string(offset, false) || tag_t_null(offset);
    case 'D':
        return tag_d(offset);
    case 'M':
        return tag_mc(offset);
    default:
        return false;
    }
}

t_tag_transformer::t_offset t_tag_transformer::find(t_offset from, char c)
{
    for (;;)
    {
        if (from < m_size)
        {
            const void* const found =
                std::memchr(m_text + from, c, static_cast<std::size_t>(m_size - from));
            if (found != nullptr)
                return static_cast<t_offset>(static_cast<const char*>(found) - m_text);
            from = m_size;
        }
        if (!load_more())
            return not_found;
    }
}

t_text_position t_tag_transformer::position_of(t_offset offset)
{
    return available(offset) ? m_loader.position_at(offset) : t_text_position::end();
}

bool t_tag_transformer::tag_t_string(t_offset& offset, bool with_x)
{
    t_offset walk = offset;
    if (!match(walk, with_x ? "_Tx" : "_T"))
        return false;
    walk = skip_white(walk);
    if (!take(walk, '('))
        return false;
    walk = skip_white(walk);
    if (!take(walk, '"'))
        return false;
    const t_offset body = walk;
    const t_offset closing = find(body, '"');
    if (closing == not_found)
        return false;
    walk = skip_white(closing + 1);
    if (!take(walk, ')'))
        return false;

    // Accepted: the body is written again from the loaded text, quoted with single quotes.
    t_text_writer::t_cursor out(m_out);
    if (with_x)
        out.put('x');
    out.put('\'');
    out.put(m_text + body, static_cast<std::size_t>(closing - body));
    out.put('\'');
    offset = walk;
    return true;
}

bool t_tag_transformer::tag_t_null(t_offset& offset)
{
    t_offset walk = offset;
    if (!match(walk, "_T"))
        return false;
    walk = skip_white(walk);
    if (!take(walk, '('))
        return false;
    walk = skip_white(walk);
    for (const char letter : {'N', 'U', 'L', 'L'})
    {
        if (!available(walk) || to_upper_ascii(m_text[walk]) != letter)
            return false;
        ++walk;
    }
    walk = skip_white(walk);
    if (!take(walk, ')'))
        return false;
    m_out.put("NULL");
    offset = walk;
    return true;
}

bool t_tag_transformer::tag_d(t_offset& offset)
{
    t_offset walk = offset;
    if (!match(walk, "_D"))
        return false;
    walk = skip_white(walk);
    if (!take(walk, '('))
        return false;
    const t_offset content = walk;
    if (m_no_paren_known && content >= m_no_paren_from)
        return false;
    const t_offset closing = find(content, ')');
    if (closing == not_found)
    {
        m_no_paren_known = true;
        m_no_paren_from = content;
        return false;
    }
    t_text_writer::t_cursor out(m_out);
    for (t_offset at = content; at != closing; ++at)
    {
        if (!t_char_classes::is_white(m_text[at]))
            out.put(m_text[at]);
    }
    offset = closing + 1;
    return true;
}

bool t_tag_transformer::tag_mc(t_offset& offset)
{
    t_offset walk = offset;
    if (!match(walk, "_MC"))
        return false;
    walk = skip_white(walk);
    if (!take(walk, '('))
        return false;

    // From here on the tag is taken: a malformed rest is an error, not ordinary text.
    m_mc_text.clear();
    for (;;)
    {
        walk = skip_white(walk);
        if (!read_mc_piece(walk))
            break;
    }
    if (!is(walk, ')'))
    {
        const t_text_position found = position_of(walk);
        throw std::runtime_error(glossel_texts::mc_missing_paren(found.line, found.column));
    }
    m_out.put(m_mc_text);
    offset = walk + 1;
    return true;
}

bool t_tag_transformer::read_mc_piece(t_offset& offset)
{
    if (!is(offset, '"'))
        return false;
    const t_offset opening = offset;
    t_offset walk = opening + 1;
    while (available(walk))
    {
        // The characters up to the next quote or backslash go in as they are.
        const char* const first = m_text + walk;
        const char* const last = m_text + m_size;
        const char* plain = first;
        while (plain != last && *plain != '"' && *plain != '\\')
            ++plain;
        m_mc_text.append(first, plain);
        walk += static_cast<t_offset>(plain - first);
        if (plain == last)
            continue;
        ++walk;
        if (*plain == '"')
        {
            offset = walk;
            return true;
        }
        // A backslash escapes the next character; \n and \r give a line feed.
        if (!available(walk))
            break;
        const char c = m_text[walk++];
        m_mc_text += c == 'n' || c == 'r' ? '\n' : c;
    }
    const t_text_position open = m_loader.position_at(opening);
    throw std::runtime_error(glossel_texts::mc_unclosed_piece(open.line, open.column));
}

}  // namespace structure
