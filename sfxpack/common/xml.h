// Checking that a text is well-formed XML, without an XML library.
#ifndef SFXPACK_COMMON_XML_H
#define SFXPACK_COMMON_XML_H

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace sfxpack {

using XmlAttributes = std::vector<std::pair<std::string, std::string>>;  // name, value as written
using XmlStartTag = std::function<void(const std::string &name, const XmlAttributes &attributes)>;

// Walks `xml`, calling `onStart` for each start tag in document order, and
// fails at the first fault with "line N: what is wrong". Checked: UTF-8 and
// XML's characters, one root element, elements properly nested, attributes
// quoted and not repeated, comments, CDATA, processing instructions, the XML
// declaration at the start only, and only the predefined and numeric
// entities. A DOCTYPE is refused: its entities are beyond a check this small.
bool WalkXml(const std::string &xml, const XmlStartTag &onStart, std::string *error);

}  // namespace sfxpack

#endif
