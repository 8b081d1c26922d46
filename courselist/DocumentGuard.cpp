#include "DocumentGuard.h"

#include "MsxmlIds.h"

#include <atomic>

namespace document_guard {

namespace {

std::atomic<PropertyObserver> s_observer{nullptr};

bool startsWith(std::wstring_view text, std::wstring_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

HRESULT setProperty(IXMLDOMDocument2* document, const wchar_t* name, const VARIANT& value) {
    if (const PropertyObserver observer = s_observer)
        observer(document, name, value);
    Bstr property(name);
    return document->setProperty(property.get(), value);
}

// Where the start tag that begins at "at" ends (its ">" outside the quoted
// attribute values, which may hold ">" and "/"); npos when it does not.
size_t endOfTag(std::wstring_view text, size_t at) {
    wchar_t quote = 0;
    for (size_t i = at + 1; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (quote != 0)
            quote = c == quote ? 0 : quote;
        else if (c == L'"' || c == L'\'')
            quote = c;
        else if (c == L'>')
            return i;
    }
    return std::wstring_view::npos;
}

} // namespace

HRESULT restrictParsing(IXMLDOMDocument* document) {
    ComPtr<IXMLDOMDocument2> document2;
    HRESULT hr = document->put_resolveExternals(VARIANT_FALSE);
    if (SUCCEEDED(hr))
        hr = document->put_validateOnParse(VARIANT_FALSE);
    if (SUCCEEDED(hr))
        hr = document->QueryInterface(msxml_ids::kIXMLDOMDocument2,
                                      reinterpret_cast<void**>(document2.put()));
    // Not every parser honours it: declaresMarkup refuses such a text first
    // (docs/PLATFORMS.md, parser settings).
    if (SUCCEEDED(hr))
        hr = setProperty(document2.get(), L"ProhibitDTD", boolArgument(true));
    if (SUCCEEDED(hr)) {
        // Not every parser takes it: nestsTooDeep refuses a deeper text first
        // (docs/PLATFORMS.md, parser settings).
        VARIANT depth;
        VariantInit(&depth);
        depth.vt = VT_I4;
        depth.lVal = kMaxElementDepth;
        setProperty(document2.get(), L"MaxElementDepth", depth);
    }
    return hr;
}

bool declaresMarkup(std::wstring_view text) {
    for (size_t at = text.find(L"<!"); at != std::wstring_view::npos;
         at = text.find(L"<!", at + 2)) {
        const std::wstring_view rest = text.substr(at + 2);
        if (!startsWith(rest, L"--") && !startsWith(rest, L"[CDATA["))
            return true;
    }
    return false;
}

bool nestsTooDeep(std::wstring_view text) {
    constexpr auto npos = std::wstring_view::npos;
    long depth = 0;
    for (size_t at = text.find(L'<'); at != npos; at = text.find(L'<', at + 1)) {
        const std::wstring_view rest = text.substr(at + 1);
        if (startsWith(rest, L"?"))
            at = text.find(L"?>", at + 2);
        else if (startsWith(rest, L"!--"))
            at = text.find(L"-->", at + 4);
        else if (startsWith(rest, L"![CDATA["))
            at = text.find(L"]]>", at + 9);
        else if (startsWith(rest, L"/") || startsWith(rest, L"!")) {
            depth -= rest[0] == L'/';
            at = text.find(L'>', at);
        } else {
            at = endOfTag(text, at);
            if (at == npos)
                break;
            if (++depth > kMaxElementDepth)
                return true;
            // An empty element ("<app/>") ends where it begins.
            depth -= text[at - 1] == L'/';
        }
        if (at == npos)
            break;
    }
    return false;
}

void observeProperties(PropertyObserver observer) {
    s_observer = observer;
}

} // namespace document_guard
