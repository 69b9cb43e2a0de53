// Writes the two XML resources line by line.
#include "xml_documents.h"

namespace voka::rc
{
namespace
{

constexpr const char* k_declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";

std::string escaped(const std::string& text)
{
    std::string result;
    for (const char character : text)
    {
        switch (character)
        {
        case '&':
            result += "&amp;";
            break;
        case '<':
            result += "&lt;";
            break;
        case '>':
            result += "&gt;";
            break;
        case '"':
            result += "&quot;";
            break;
        default:
            result += character;
        }
    }
    return result;
}

}  // namespace

std::string binary_info_document(const std::vector<t_binary_reference>& references)
{
    std::string document = k_declaration;
    document += "<BinaryInfo Version=\"1.0\">\r\n";
    if (references.empty())
        document += "  <References />\r\n";
    else
    {
        document += "  <References>\r\n";
        for (const t_binary_reference& reference : references)
            document += "    <Reference Name=\"" + escaped(reference.name) + "\" Version=\"" +
                        reference.version.text() + "\" />\r\n";
        document += "  </References>\r\n";
    }
    document += "</BinaryInfo>\r\n";
    return document;
}

std::string manifest_document()
{
    return std::string(k_declaration) +
           "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
           "</assembly>\r\n";
}

}  // namespace voka::rc
