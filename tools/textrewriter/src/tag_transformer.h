// The tag transformation: copies a source text to a destination, replacing the tags
// _T("..."), _T(NULL), _Tx("..."), _D(...) and _MC("..." ...) by literal text,
// removing line comments and blanking block comments; quoted runs, words, punctuation,
// white space and line breaks are copied unchanged.
#pragma once

#include "text_loader.h"
#include "text_position.h"
#include "text_writer.h"

#include <istream>
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
    // The walk over the text, turn by turn.
    void walk_turns();
    // Parts of the turns of the walk; the steps return whether they consumed text.
    bool comment_step(t_text_position& position);
    bool tag_steps(t_text_position& position);
    // Copies white, words and delimiters over as many turns as they fill; with
    // `word_started`, the first character continues a word whatever it is.
    void plain_run(t_text_position& position, bool word_started);

    void copy_quoted_run(t_text_position& position, char quote);
    void skip_line_comment(t_text_position& position);
    void blank_block_comment(t_text_position& position);

    bool tag_t_string(t_text_position& position, bool with_x);
    bool tag_t_null(t_text_position& position);
    bool tag_d(t_text_position& position);
    bool tag_mc(t_text_position& position);
    bool read_mc_piece(t_text_position& position);

    // Walking helpers over the loader.
    void advance(t_text_position& position) { m_loader.next_position(position); }
    char at(const t_text_position& position) const { return m_loader.get_char(position); }
    bool is(const t_text_position& position, char c) const
    {
        return !position.is_end() && m_loader.get_char(position) == c;
    }
    // Advances over `name` when the text at `position` starts with it.
    bool match(t_text_position& position, const char* name);
    void skip_white(t_text_position& position);
    // Advances over `c` when it is the character at `position`.
    bool take(t_text_position& position, char c);

    t_text_loader m_loader;
    t_text_writer m_out;
    std::string m_mc_text;

    // Where a scan of _D for its ')' ran into the end of the text: no ')' follows it,
    // so later _D tags further on fail without scanning the rest again.
    bool m_no_paren_known = false;
    t_text_position m_no_paren_from;
};

}  // namespace structure
