#include "props_reader.h"

#include <gtest/gtest.h>
#include <msxml2.h>
#include <wrl/client.h>
#include "com/bstr.h"

namespace vento::test {

std::map<std::wstring, std::wstring> propsOf(std::wstring_view text)
{
    using Microsoft::WRL::ComPtr;
    using modkit::Bstr;
    std::map<std::wstring, std::wstring> result;
    CLSID clsid;
    ComPtr<IXMLDOMDocument> doc;
    if (FAILED(CLSIDFromProgID(L"msxml2.domdocument", &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IXMLDOMDocument,
                                reinterpret_cast<void**>(doc.GetAddressOf())))) {
        ADD_FAILURE() << "no XML component";
        return result;
    }
    VARIANT_BOOL ok = VARIANT_FALSE;
    doc->loadXML(Bstr(text).get(), &ok);
    if (ok != VARIANT_TRUE) {
        ADD_FAILURE() << "unparsable document: " << std::string(text.begin(), text.end());
        return result;
    }
    for (auto& [name, value] : propsInOrder(doc.Get())) result[name] = value;
    return result;
}

std::vector<std::pair<std::wstring, std::wstring>> propsInOrder(IXMLDOMDocument* doc)
{
    using Microsoft::WRL::ComPtr;
    using modkit::Bstr;
    std::vector<std::pair<std::wstring, std::wstring>> result;
    ComPtr<IXMLDOMNodeList> list;
    EXPECT_EQ(S_OK, doc->selectNodes(Bstr(L"PROPS/*").get(), &list));
    long n = 0;
    if (list) list->get_length(&n);
    for (long i = 0; i < n; ++i) {
        ComPtr<IXMLDOMNode> node;
        list->get_item(i, &node);
        Bstr name, value;
        node->get_nodeName(name.put());
        node->get_text(value.put());
        result.emplace_back(name.view(), value.view());
    }
    return result;
}

} // namespace vento::test
