// The texts of glossel's output and of the failures it raises.
#include "glossel_texts.h"

#include "voka/infrastructure/core/message_formatter.h"

namespace structure::glossel_texts
{

std::string banner()
{
    return "Glossel text rewriter: tags to literals, comments removed";
}

std::string usage()
{
    return "command parameters: <source file> <dest file>";
}

std::string report(const std::string& message)
{
    return "\nERROR:" + message + "\n";
}

std::string open_failure(const std::string& role, const std::string& path)
{
    return t_message_formatter("fail open %1 file \"%2\"").add_arg(role).add_arg(path).build();
}

std::string write_failure(const std::string& path)
{
    return t_message_formatter("fail write %1 file \"%2\"").add_arg("dest").add_arg(path).build();
}

std::string mc_unclosed_piece(std::uint32_t line, std::uint32_t column)
{
    return t_message_formatter("[tag _MC] close of text [line:%1 col:%2] not found")
        .add_arg(line)
        .add_arg(column)
        .build();
}

std::string mc_missing_paren(std::uint32_t line, std::uint32_t column)
{
    return t_message_formatter("[tag _MC] not found ')'. line:%1 col:%2")
        .add_arg(line)
        .add_arg(column)
        .build();
}

}  // namespace structure::glossel_texts
