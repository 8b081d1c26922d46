#pragma once
// The largest course list the tool accepts, for the benchmarks.
#include "HTTPXMLReqHelper.h"
#include "TestDocuments.h"

#include <algorithm>
#include <string>

namespace bench {

// The number of entries in it: about 100 bytes an entry.
constexpr size_t kLargestEntries = CHTTPXMLReqHelper::kMaxDocumentBytes / 100;

// As many entries as fit, padded to the size bound: the local copy it makes,
// each line feed stored with a carriage return, fills the bound exactly.
inline std::string largestDocument() {
    std::string document = test_documents::manyEntries(kLargestEntries);
    const size_t lineFeeds = std::count(document.begin(), document.end(), '\n');
    document.resize(CHTTPXMLReqHelper::kMaxDocumentBytes - lineFeeds, ' ');
    return document;
}

} // namespace bench
