#include "document_loads.h"

#include <cstddef>
#include <cstring>
#include <stdexcept>
#include <wrl/client.h>

namespace vento::test {

namespace {

using LoadXml = HRESULT(STDMETHODCALLTYPE*)(IXMLDOMDocument*, BSTR, VARIANT_BOOL*);

LoadXml original = nullptr;
void** entry = nullptr; // the table entry replaced
long loads = 0;

HRESULT STDMETHODCALLTYPE countingLoadXml(IXMLDOMDocument* self, BSTR xml, VARIANT_BOOL* ok)
{
    ++loads;
    return original(self, xml, ok);
}

// The entry of loadXML in an IXMLDOMDocument function table. In the C++ ABI this compiler follows, a
// pointer to a virtual member holds one more than the function's byte offset in the table.
std::size_t loadXmlSlot()
{
    auto member = &IXMLDOMDocument::loadXML;
    struct Parts {
        std::ptrdiff_t pointer, adjustment;
    } parts;
    static_assert(sizeof member == sizeof parts);
    std::memcpy(&parts, &member, sizeof parts);
    if ((parts.pointer & 1) == 0) throw std::logic_error("loadXML is not found in the function table");
    return std::size_t(parts.pointer - 1) / sizeof(void*);
}

} // namespace

DocumentLoads::DocumentLoads()
{
    if (entry) throw std::logic_error("one DocumentLoads at a time");
    CLSID clsid;
    Microsoft::WRL::ComPtr<IXMLDOMDocument> document;
    if (FAILED(CLSIDFromProgID(L"msxml2.domdocument", &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                reinterpret_cast<void**>(document.GetAddressOf()))))
        throw std::runtime_error("no XML document component");
    void** table = *reinterpret_cast<void***>(document.Get());
    void** slot = table + loadXmlSlot();
    DWORD was = 0;
    if (!VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &was)) throw std::runtime_error("the function table stays read-only");
    original = reinterpret_cast<LoadXml>(*slot);
    *slot = reinterpret_cast<void*>(&countingLoadXml);
    VirtualProtect(slot, sizeof(void*), was, &was);
    entry = slot;
    loads = 0;
}

DocumentLoads::~DocumentLoads()
{
    DWORD was = 0;
    if (VirtualProtect(entry, sizeof(void*), PAGE_READWRITE, &was)) {
        *entry = reinterpret_cast<void*>(original);
        VirtualProtect(entry, sizeof(void*), was, &was);
    }
    entry = nullptr;
}

long DocumentLoads::count() const noexcept { return loads; }
void DocumentLoads::reset() noexcept { loads = 0; }

} // namespace vento::test
