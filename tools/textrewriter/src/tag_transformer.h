// The tag transformation: copies a source text to a destination, replacing the tags
// _T("..."), _T(NULL), _Tx("..."), _D(...) and _MC("..." ...) by literal text,
// removing line comments and blanking block comments; quoted runs, words, punctuation,
// white space and line breaks are copied unchanged.
#pragma once

#include "char_classes.h"
#include "text_loader.h"
#include "text_position.h"
#include "text_writer.h"

#include <cstdint>
#include <istream>
#include <limits>
#include <ostream>
#include <string>

namespace structure
{

class t_tag_transformer
{
public:
    // Borrows both streams; they must outlive the transformer. Reads nothing yet.
    t_tag_transformer(std::istream& source, std::ostream& destination);
    t_tag_transformer(const t_tag_transformer&) = delete;
    t_tag_transformer& operator=(const t_tag_transformer&) = delete;

    // Rewrites the whole source text into the destination in one forward pass. A
    // failed write marks the destination stream bad and the pass goes on, so that the
    // caller finds the failure in the stream's state. Throws std::runtime_error for a
    // malformed _MC tag (the text written so far stays written), std::logic_error from
    // the loader, std::bad_alloc.
    void run();

private:
    // The walk goes over the loaded text by offsets into it (see
    // t_text_loader::text()); positions are only worked out for the _MC failures.
    using t_offset = std::uint64_t;
    static constexpr t_offset not_found = std::numeric_limits<t_offset>::max();

    // The walk over the text, turn by turn.
    void walk_turns();
    // Parts of the turns of the walk; the steps return whether they consumed text and
    // then move `offset` past it.
    bool comment_step(t_offset& offset);
    bool tag_steps(t_offset& offset);
    // Copies white, words and delimiters over as many turns as they fill; with
    // `word_started`, the first character continues a word whatever it is. Returns
    // where the copy stopped: a character that starts a new turn, or the end.
    t_offset plain_run(t_offset offset, bool word_started);

    t_offset copy_quoted_run(t_offset offset, char quote);
    t_offset skip_line_comment(t_offset offset);
    t_offset blank_block_comment(t_offset offset);

    bool tag_t_string(t_offset& offset, bool with_x);
    bool tag_t_null(t_offset& offset);
    bool tag_d(t_offset& offset);
    bool tag_mc(t_offset& offset);
    bool read_mc_piece(t_offset& offset);

    // Whether the text goes on to byte `offset`, loading blocks until it does or the
    // source ends.
    bool available(t_offset offset)
    {
        while (offset >= m_size)
        {
            if (!load_more())
                return false;
        }
        return true;
    }
    bool load_more();
    bool is(t_offset offset, char c) { return available(offset) && m_text[offset] == c; }
    // The offset of the first `c` at or after `from`, or not_found when the text ends
    // before one.
    t_offset find(t_offset from, char c);
    // Advances over `name` when the text at `offset` starts with it.
    bool match(t_offset& offset, const char* name)
    {
        for (; *name != '\0'; ++name)
        {
            if (!is(offset, *name))
                return false;
            ++offset;
        }
        return true;
    }
    t_offset skip_white(t_offset offset)
    {
        while (available(offset) && t_char_classes::is_white(m_text[offset]))
            ++offset;
        return offset;
    }
    // Advances over `c` when it is the character at `offset`.
    bool take(t_offset& offset, char c)
    {
        if (!is(offset, c))
            return false;
        ++offset;
        return true;
    }
    // The position of byte `offset`, or the end marker past the end of the text.
    t_text_position position_of(t_offset offset);

    t_text_loader m_loader;
    t_text_writer m_out;
    std::string m_mc_text;

    // The text loaded so far, as the loader holds it.
    const char* m_text = nullptr;
    t_offset m_size = 0;

    // Where a scan of _D for its ')' ran into the end of the text: no ')' follows it,
    // so later _D tags further on fail without scanning the rest again.
    bool m_no_paren_known = false;
    t_offset m_no_paren_from = 0;
};

}  // namespace structure
