// Property documents: reading an input's document, publishing an output's, and reacting to changes.
#include "module/module_base.h"

#include <algorithm>
#include "com/handle.h"

namespace modkit {

std::wstring_view ModuleBase::InputPropsView(const Pin& pin)
{
    // Reading a document never fails: engine errors, null records and null strings read as empty.
    auto textOf = [](SignalBlock* record) {
        return record && record->props ? bstrView(*record->props) : std::wstring_view();
    };
    const InputKind kind = DeclaredInput(pin);
    long count = 0;
    HRESULT counted = site->GetInputCount(pin.bstr(), &count);
    if (SUCCEEDED(counted) && count >= 1) {
        for (long i = 0; i < count; ++i) {
            SignalBlock* record = nullptr;
            if (FAILED(site->GetInputBlockAt(pin.bstr(), i, &record))) {
                documentCallFailed_ = true;
                continue;
            }
            std::wstring_view text = textOf(record);
            if (!text.empty()) return text;
        }
        return std::wstring_view();
    }
    SignalBlock* record = nullptr;
    if (FAILED(site->GetInputBlock(pin.bstr(), &record))) {
        // Only a single input owes a block; an output's name or a multi-input has none to give.
        if (kind == InputKind::Single) documentCallFailed_ = true;
        return std::wstring_view();
    }
    return textOf(record);
}

std::wstring ModuleBase::GetInputProps(const Pin& pin) { return std::wstring(InputPropsView(pin)); }

void ModuleBase::SetOutputProps(const Pin& pin, std::wstring_view text)
{
    SignalBlock* record = nullptr;
    if (FAILED(site->GetOutputBlock(pin.bstr(), &record))) {
        documentCallFailed_ = true;
        return;
    }
    if (!record || !record->props) return;
    BSTR replacement = Bstr::allocate(text);
    Bstr::adopt(std::exchange(*record->props, replacement)); // the string it held is ours to free
}

void ModuleBase::LoadDocument(std::wstring_view text, bool* parsed)
{
    VARIANT_BOOL ok = VARIANT_FALSE;
    check(document->loadXML(Bstr(text).get(), &ok));
    *parsed = ok == VARIANT_TRUE;
}

void ModuleBase::PropagateProps(const Pin& pin)
{
    // Reading and writing documents never fail, but an engine call refused on the way leaves the
    // output with a document made from nothing, or with its old one, and the input's document may
    // not change again for the rest of the run. Such a document is published again before the pin's
    // next block goes out (SendOutput).
    documentCallFailed_ = false;
    auto noteOutcome = scopeExit([&]() noexcept {
        auto pending = std::find(pendingProps_.begin(), pendingProps_.end(), pin.name());
        if (!documentCallFailed_) {
            if (pending != pendingProps_.end()) pendingProps_.erase(pending);
            return;
        }
        if (pending != pendingProps_.end()) return;
        try {
            pendingProps_.emplace_back(pin.name());
        } catch (...) {
            // Out of memory: the document stays as it is, as it did before retries existed.
        }
    });
    std::wstring text = GetInputProps(pin);
    if (text.empty()) text = emptyPropsDocument;
    if (!document) return;
    bool parsed = false;
    LoadDocument(text, &parsed);
    if (!parsed) return; // the output keeps its previous document
    OnOutputProps(document.Get(), pin);
    Bstr xml;
    check(document->get_xml(xml.put()));
    SetOutputProps(pin, xml.view());
}

void ModuleBase::CheckInputProps(const Pin& pin)
{
    // Runs every block: an unchanged document costs one comparison and no allocation.
    std::wstring_view text = InputPropsView(pin);
    if (text.empty()) return;
    auto cached = inputPropsCache.find(std::wstring_view(pin.name()));
    if (cached != inputPropsCache.end() && sameText(cached->second, text)) return;
    std::wstring copy(text);
    if (cached != inputPropsCache.end())
        cached->second = std::move(copy);
    else
        inputPropsCache.emplace(pin.name(), std::move(copy));
    if (!document) return;
    bool parsed = false;
    LoadDocument(inputPropsCache.find(std::wstring_view(pin.name()))->second, &parsed);
    OnInputProps(document.Get(), pin); // runs even when the text did not parse
    PropagateProps(pin);
}

namespace {
ComPtr<IXMLDOMNode> propsElement(IXMLDOMDocument* document)
{
    ComPtr<IXMLDOMNode> props;
    check(document->selectSingleNode(Bstr(L"PROPS").get(), &props));
    if (!props) throwHr(E_POINTER);
    return props;
}
} // namespace

void SetProperty(IXMLDOMDocument* document, std::wstring_view key, std::wstring_view value)
{
    ComPtr<IXMLDOMElement> element;
    check(document->createElement(Bstr(key).get(), &element));
    check(element->put_text(Bstr(value).get()));
    ComPtr<IXMLDOMNode> props = propsElement(document);
    ComPtr<IXMLDOMNode> existing;
    check(props->selectSingleNode(Bstr(key).get(), &existing));
    ComPtr<IXMLDOMNode> inserted;
    if (existing) {
        check(props->replaceChild(element.Get(), existing.Get(), &inserted));
    } else {
        ComPtr<IXMLDOMElement> root;
        check(document->get_documentElement(&root));
        if (!root) throwHr(E_POINTER);
        check(root->appendChild(element.Get(), &inserted));
    }
}

void SetProperty(IXMLDOMDocument* document, std::wstring_view key, long value)
{
    SetProperty(document, key, std::to_wstring(value));
}

std::wstring GetProperty(IXMLDOMDocument* document, std::wstring_view key)
{
    ComPtr<IXMLDOMNode> props = propsElement(document);
    ComPtr<IXMLDOMNode> node;
    check(props->selectSingleNode(Bstr(key).get(), &node));
    if (!node) return std::wstring();
    Bstr text;
    check(node->get_text(text.put()));
    return std::wstring(text.view());
}

} // namespace modkit
