// Flushing of the transformation's output chunks.
#include "text_writer.h"

namespace structure
{

t_text_writer::t_text_writer(std::ostream& stream)
    : m_stream(stream), m_buffer(stream ? stream.rdbuf() : nullptr),
      m_chunk(std::make_unique_for_overwrite<char8_t[]>(chunk_size)), m_next(m_chunk.get()),
      m_end(m_chunk.get() + chunk_size)
{
}

t_text_writer::~t_text_writer()
{
    try
    {
        flush();
    }
    catch (...)
    {
        // The stream's state already tells the failure.
    }
}

char8_t* t_text_writer::flush_until(char8_t* next)
{
    const std::streamsize count = next - m_chunk.get();
    if (count != 0)
    {
        if (m_buffer == nullptr)
        {
            if (m_stream.good())
                fail();  // a good stream without a buffer
        }
        else if (m_buffer->sputn(reinterpret_cast<const char*>(m_chunk.get()), count) != count)
        {
            fail();
        }
    }
    return m_chunk.get();
}

void t_text_writer::fail()
{
    m_buffer = nullptr;
    m_stream.setstate(std::ios_base::badbit);
}

}  // namespace structure
