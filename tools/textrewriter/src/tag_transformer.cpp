// The walk of the tag transformation: copy step, tag steps and word step per turn.
#include "tag_transformer.h"

#include "char_classes.h"
#include "glossel_texts.h"

#include <stdexcept>

namespace structure
{

namespace
{

using t_walk = t_text_loader::t_walk;

bool before(const t_text_position& left, const t_text_position& right) noexcept
{
    return left.line < right.line || (left.line == right.line && left.column < right.column);
}

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

void t_tag_transformer::walk_turns()
{
    t_text_position position = t_text_position::start();
    advance(position);
    while (!position.is_end())
    {
        // Only a quote, a slash or an underscore can start anything but white or a word.
        const char c = at(position);
        if (c == '\'' || c == '"')
        {
            copy_quoted_run(position, c);
            continue;
        }
        if (c == '/' && comment_step(position))
            continue;
        if (c == '_' && tag_steps(position))
            continue;
        plain_run(position, c == '/' || c == '_');
    }
}

bool t_tag_transformer::comment_step(t_text_position& position)
{
    t_text_position next = position;
    advance(next);
    if (is(next, '/'))
    {
        position = next;
        advance(position);
        skip_line_comment(position);
        return true;
    }
    if (is(next, '*'))
    {
        position = next;
        advance(position);
        blank_block_comment(position);
        return true;
    }
    return false;
}

void t_tag_transformer::plain_run(t_text_position& position, bool word_started)
{
    // White characters, words and delimiters, turn after turn, up to a character that
    // could start a quoted run, a comment or a tag where a new turn starts: after white
    // or a delimiter. Inside a word the same characters are copied as they are. The
    // word step writes the character that ends a word with it.
    struct t_plain_visitor
    {
        t_text_writer::t_cursor out;
        bool turn_start;

        t_walk operator()(char c)
        {
            if (turn_start && t_char_classes::may_start_step(c))
                return t_walk::stop_before;
            out.put(c);
            turn_start = t_char_classes::ends_word(c);
            return t_walk::next;
        }

        // The bytes from `first` on that the call above would take, copied at once.
        std::size_t run(const char* first, const char* last)
        {
            const char* next = first;
            bool starts = turn_start;
            for (; next != last; ++next)
            {
                if (starts && t_char_classes::may_start_step(*next))
                    break;
                starts = t_char_classes::ends_word(*next);
            }
            const auto count = static_cast<std::size_t>(next - first);
            out.put(first, count);
            turn_start = starts;
            return count;
        }
    };
    t_plain_visitor visitor{t_text_writer::t_cursor(m_out), !word_started};
    m_loader.walk(position, visitor);
}

void t_tag_transformer::copy_quoted_run(t_text_position& position, char quote)
{
    // No escapes: the run ends at the next equal quote, or with the text.
    m_out.put(quote);
    advance(position);
    t_text_writer::t_cursor out(m_out);
    m_loader.walk(position,
                  [&out, quote](char c)
                  {
                      out.put(c);
                      return c == quote ? t_walk::stop_after : t_walk::next;
                  });
}

void t_tag_transformer::skip_line_comment(t_text_position& position)
{
    // The line feed that ends the comment is copied by the next turn.
    m_loader.walk(position, [](char c) { return c == '\n' ? t_walk::stop_before : t_walk::next; });
}

void t_tag_transformer::blank_block_comment(t_text_position& position)
{
    // Every character becomes a space and every line break stays, so the text after
    // the comment keeps its line and column.
    // The closing "*/" comes out as two spaces like any other two characters; a '*'
    // right after the opener cannot start the closer, as the opener's '*' is taken.
    m_out.put(' ');
    m_out.put(' ');
    bool after_star = false;
    t_text_writer::t_cursor out(m_out);
    m_loader.walk(position,
                  [&out, &after_star](char c)
                  {
                      out.put(c == '\n' ? '\n' : ' ');
                      if (after_star && c == '/')
                          return t_walk::stop_after;
                      after_star = c == '*';
                      return t_walk::next;
                  });
}

bool t_tag_transformer::tag_steps(t_text_position& position)
{
    // Every tag's name starts with '_' and a letter of its own; the steps whose name
    // cannot match are left out, in the order of the steps.
    t_text_position second = position;
    advance(second);
    if (second.is_end())
        return false;
    switch (at(second))
    {
    case 'T':
        return tag_t_string(position, false) || tag_t_null(position) ||
               tag_t_string(position, true);
    case 'D':
        return tag_d(position);
    case 'M':
        return tag_mc(position);
    default:
        return false;
    }
}

bool t_tag_transformer::match(t_text_position& position, const char* name)
{
    for (; *name != '\0'; ++name)
    {
        if (!is(position, *name))
            return false;
        advance(position);
    }
    return true;
}

void t_tag_transformer::skip_white(t_text_position& position)
{
    m_loader.walk(position, [](char c)
                  { return t_char_classes::is_white(c) ? t_walk::next : t_walk::stop_before; });
}

bool t_tag_transformer::take(t_text_position& position, char c)
{
    if (!is(position, c))
        return false;
    advance(position);
    return true;
}

bool t_tag_transformer::tag_t_string(t_text_position& position, bool with_x)
{
    t_text_position walk = position;
    if (!match(walk, with_x ? "_Tx" : "_T"))
        return false;
    skip_white(walk);
    if (!take(walk, '('))
        return false;
    skip_white(walk);
    if (!take(walk, '"'))
        return false;
    const t_text_position body = walk;
    m_loader.walk(walk, [](char c) { return c == '"' ? t_walk::stop_before : t_walk::next; });
    if (walk.is_end())
        return false;
    advance(walk);
    skip_white(walk);
    if (!take(walk, ')'))
        return false;

    // Accepted: the body is written again from the loaded text, quoted with single quotes.
    if (with_x)
        m_out.put('x');
    m_out.put('\'');
    t_text_position copy = body;
    m_loader.walk(copy,
                  [this](char c)
                  {
                      if (c == '"')
                          return t_walk::stop_before;
                      m_out.put(c);
                      return t_walk::next;
                  });
    m_out.put('\'');
    position = walk;
    return true;
}

bool t_tag_transformer::tag_t_null(t_text_position& position)
{
    t_text_position walk = position;
    if (!match(walk, "_T"))
        return false;
    skip_white(walk);
    if (!take(walk, '('))
        return false;
    skip_white(walk);
    for (const char letter : {'N', 'U', 'L', 'L'})
    {
        if (walk.is_end() || to_upper_ascii(at(walk)) != letter)
            return false;
        advance(walk);
    }
    skip_white(walk);
    if (!take(walk, ')'))
        return false;
    m_out.put("NULL");
    position = walk;
    return true;
}

bool t_tag_transformer::tag_d(t_text_position& position)
{
    t_text_position walk = position;
    if (!match(walk, "_D"))
        return false;
    skip_white(walk);
    if (!take(walk, '('))
        return false;
    const t_text_position content = walk;
    if (m_no_paren_known && !before(content, m_no_paren_from))
        return false;
    m_loader.walk(walk, [](char c) { return c == ')' ? t_walk::stop_before : t_walk::next; });
    if (walk.is_end())
    {
        m_no_paren_known = true;
        m_no_paren_from = content;
        return false;
    }
    t_text_position copy = content;
    m_loader.walk(copy,
                  [this](char c)
                  {
                      if (c == ')')
                          return t_walk::stop_before;
                      if (!t_char_classes::is_white(c))
                          m_out.put(c);
                      return t_walk::next;
                  });
    advance(walk);
    position = walk;
    return true;
}

bool t_tag_transformer::tag_mc(t_text_position& position)
{
    t_text_position walk = position;
    if (!match(walk, "_MC"))
        return false;
    skip_white(walk);
    if (!take(walk, '('))
        return false;

    // From here on the tag is taken: a malformed rest is an error, not ordinary text.
    m_mc_text.clear();
    for (;;)
    {
        skip_white(walk);
        if (!read_mc_piece(walk))
            break;
    }
    if (!is(walk, ')'))
        throw std::runtime_error(glossel_texts::mc_missing_paren(walk.line, walk.column));
    advance(walk);
    m_out.put(m_mc_text);
    position = walk;
    return true;
}

bool t_tag_transformer::read_mc_piece(t_text_position& position)
{
    if (!is(position, '"'))
        return false;
    const t_text_position opening = position;
    advance(position);
    for (;;)
    {
        if (position.is_end())
            throw std::runtime_error(
                glossel_texts::mc_unclosed_piece(opening.line, opening.column));
        char c = at(position);
        advance(position);
        if (c == '"')
            return true;
        if (c == '\\')
        {
            if (position.is_end())
                throw std::runtime_error(
                    glossel_texts::mc_unclosed_piece(opening.line, opening.column));
            c = at(position);
            advance(position);
            if (c == 'n' || c == 'r')
                c = '\n';
        }
        m_mc_text += c;
    }
}

}  // namespace structure
