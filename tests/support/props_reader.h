#pragma once
// Reads a property document back as key -> text through the platform's XML component, so tests
// compare documents by their elements, never by their serialisation.
#include <msxml2.h>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vento::test {

// Children of PROPS in a document text; a test failure is added when the text does not parse.
std::map<std::wstring, std::wstring> propsOf(std::wstring_view text);
// Children of PROPS in a loaded document, in document order, as name and text.
std::vector<std::pair<std::wstring, std::wstring>> propsInOrder(IXMLDOMDocument* doc);

} // namespace vento::test
