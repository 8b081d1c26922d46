#include "DocumentGuard.h"

#include "MsxmlIds.h"

namespace document_guard {

namespace {

bool startsWith(std::wstring_view text, std::wstring_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

HRESULT prohibitDocumentType(IXMLDOMDocument* document) {
    ComPtr<IXMLDOMDocument2> document2;
    HRESULT hr = document->QueryInterface(msxml_ids::kIXMLDOMDocument2,
                                          reinterpret_cast<void**>(document2.put()));
    if (FAILED(hr))
        return hr;
    Bstr name(L"ProhibitDTD");
    return document2->setProperty(name.get(), boolArgument(true));
}

} // namespace

HRESULT restrictParsing(IXMLDOMDocument* document) {
    HRESULT hr = prohibitDocumentType(document);
    if (SUCCEEDED(hr))
        hr = document->put_resolveExternals(VARIANT_FALSE);
    if (SUCCEEDED(hr))
        hr = document->put_validateOnParse(VARIANT_FALSE);
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

} // namespace document_guard
