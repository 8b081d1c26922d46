#pragma once

// The XML interfaces come from the platform headers; mingw's import libraries
// hold none of the ids this code asks for, so they are defined here.
#include <windows.h>
#include <msxml2.h>

namespace msxml_ids {

extern const IID kIXMLHTTPRequest;
extern const IID kIXMLDOMDocument;
extern const IID kIXMLDOMDocument2;
extern const IID kIXMLDOMElement;

// DOM document of MSXML 3.0, by its versioned class id (Msxml2.DOMDocument.3.0): the parser
// Windows runs, on both platforms (docs/PLATFORMS.md, the XML parser's class).
extern const CLSID kDOMDocument30;

// ProgID of the XML HTTP request object, version 3.
extern const wchar_t kXMLHTTPProgId[];

} // namespace msxml_ids
