// glossel's entry routine and file handling.
#include "program_flow.h"

#include "glossel_texts.h"
#include "tag_transformer.h"

#include <cstddef>
#include <exception>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace structure
{

namespace
{

// Larger stream buffers than the runtime's default: the text passes byte by byte
// through the buffers, and each refill or flush is a call into the system.
constexpr std::size_t stream_buffer_size = 1024 * 1024;

}  // namespace

void rewrite_file(const std::string& source_path, const std::string& dest_path)
{
    // The buffers outlive the streams that use them.
    const auto source_buffer = std::make_unique_for_overwrite<char[]>(stream_buffer_size);
    const auto dest_buffer = std::make_unique_for_overwrite<char[]>(stream_buffer_size);

    // Both files in text mode: the C runtime's line-break translation, where it has one.
    std::ifstream source;
    source.rdbuf()->pubsetbuf(source_buffer.get(), stream_buffer_size);
    source.open(source_path);
    if (!source)
        throw std::runtime_error(glossel_texts::open_failure("source", source_path));

    std::ofstream dest;
    dest.rdbuf()->pubsetbuf(dest_buffer.get(), stream_buffer_size);
    dest.open(dest_path);
    if (!dest)
        throw std::runtime_error(glossel_texts::open_failure("dest", dest_path));

    {
        t_tag_transformer transformer(source, dest);
        transformer.run();
    }
    if (!dest)
        throw std::runtime_error(glossel_texts::write_failure(dest_path));
    dest.close();  // flushes the rest, which may fail too
    if (!dest)
        throw std::runtime_error(glossel_texts::write_failure(dest_path));
    source.close();
}

int run_glossel(int argc, const char* const* argv, std::ostream& out)
{
    out << glossel_texts::banner() << std::endl;
    if (argc != 3)
    {
        out << glossel_texts::usage() << '\n';
        return 0;
    }
    try
    {
        rewrite_file(argv[1], argv[2]);
    }
    catch (const std::exception& failure)
    {
        out << glossel_texts::report(failure.what()) << std::flush;
        return -1;
    }
    return 0;
}

}  // namespace structure
