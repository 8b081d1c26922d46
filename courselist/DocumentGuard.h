#pragma once

// The course list comes over plain HTTP, and the local copy is such a list
// saved: anyone on the network path can write it. A document type could
// expand entities into the list (or expand them without end) and make the
// parser fetch local files or internal addresses. A course list needs none
// of it, so the parser is set up to read none, and a text that declares any
// is refused before it is parsed.
#include "ComSupport.h"

#include <msxml2.h>

#include <string_view>

namespace document_guard {

// Sets the document up to refuse a document type (ProhibitDTD) and neither
// to resolve externals nor to validate. Each call's failure code, S_OK when
// all three were taken. Wine's parser takes ProhibitDTD and ignores it.
HRESULT restrictParsing(IXMLDOMDocument* document);

// True when the text holds markup that only a document type brings: "<!"
// followed by anything but a comment's "--" or a CDATA section's "[CDATA[".
// Fails closed: such text inside a comment or a CDATA section counts too.
bool declaresMarkup(std::wstring_view text);

} // namespace document_guard
