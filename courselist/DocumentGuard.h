#pragma once

// A course list holds neither a document type nor deep nesting: the parser is
// set up to read neither, and a text that holds either is refused before it is
// parsed (docs/RELIABILITY.md, hostile course lists).
#include "ComSupport.h"

#include <msxml2.h>

#include <string_view>

namespace document_guard {

// Deepest nesting of elements accepted, the root counting as one: far above
// a course list's own (an entry is the root's child).
constexpr long kMaxElementDepth = 64;

// Sets the document up neither to resolve externals nor to validate, to refuse a document
// type (ProhibitDTD) and elements nested deeper than kMaxElementDepth (MaxElementDepth). The
// failure code of the first other setting refused, S_OK when they were taken; a refused
// MaxElementDepth passes, nestsTooDeep holding the limit (docs/PLATFORMS.md, parser settings).
HRESULT restrictParsing(IXMLDOMDocument* document);

// True when the text holds markup that only a document type brings: "<!"
// followed by anything but a comment's "--" or a CDATA section's "[CDATA[".
// Fails closed: such text inside a comment or a CDATA section counts too.
bool declaresMarkup(std::wstring_view text);

// True when a well-formed text nests elements deeper than kMaxElementDepth.
// What it says of a text that is not well-formed does not matter: the parser
// refuses that text anyway.
bool nestsTooDeep(std::wstring_view text);

// Called with each second-level property as restrictParsing sets it, and the
// document it sets it on (first-level settings already made): the record of
// what the parser was given, which Wine's parser does not keep (getProperty
// fails for both). For tests; none when null.
using PropertyObserver = void (*)(IXMLDOMDocument* document, const wchar_t* name,
                                  const VARIANT& value);
void observeProperties(PropertyObserver observer);

} // namespace document_guard
