#pragma once

#include "HTTPXMLReqHelper.h"

#include <string>
#include <utility>
#include <vector>

// Reads the course list document (from the server, or the local copy through
// a "file:///" URL) and collects its application entries in document order.
class CAppNamesHelper : public CHTTPXMLReqHelper {
public:
    // Display name and program file name.
    using AppEntry = std::pair<std::string, std::string>;

    // An empty url stands for the course list server.
    explicit CAppNamesHelper(std::string url);
    ~CAppNamesHelper() override;

    void reset() override;
    bool succeeded() override;

    std::vector<AppEntry> m_appNames;

protected:
    void parseResponse(ComPtr<IXMLDOMNodeList> list) override;

private:
    ComPtr<IXMLDOMNodeList> visit(IXMLDOMNode* node);
    void takeEntry(IXMLDOMNode* node);
};
