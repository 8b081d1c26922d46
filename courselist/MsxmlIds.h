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

// DOM document of MSXML 3.0, by its versioned class id (Msxml2.DOMDocument.3.0).
// The version-independent one binds to MSXML 3.0 on Windows too, but Wine
// runs it as another version: this one is the parser Windows runs.
extern const CLSID kDOMDocument30;

// ProgID of the XML HTTP request object, version 3.
extern const wchar_t kXMLHTTPProgId[];

} // namespace msxml_ids
