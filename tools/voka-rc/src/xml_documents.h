// The XML resources: the VOKA.BINARY_INFO document and the isolation manifest. Both are UTF-8
// without a byte-order mark, with CR LF line ends and two-space indentation, each line (the last
// included) ending in CR LF, and start with an XML declaration.
#pragma once

#include "resource_source.h"

#include <string>
#include <vector>

namespace voka::rc
{

// <BinaryInfo Version="1.0"> with one <References> element holding one
// <Reference Name="..." Version="a.b.c.d" /> per reference, in order; an empty list is written
// as the empty element <References />. Attribute values are escaped (& < > ").
std::string binary_info_document(const std::vector<t_binary_reference>& references);

// An empty <assembly> element of namespace urn:schemas-microsoft-com:asm.v1 with
// manifestVersion="1.0", written as a start and an end tag.
std::string manifest_document();

}  // namespace voka::rc
