#include "AppNamesHelper.h"

#include "MsxmlIds.h"
#include "Utilities.h"
#include "TextConversion.h"
#include "resource.h"

#include <cwchar>

namespace {

constexpr wchar_t kEntryName[] = L"app";
constexpr wchar_t kProgramAttribute[] = L"exe";

std::string toAnsi(const Bstr& text) {
    return wideToAnsi(text.get(), text.length());
}

// The longest file name the platform's file systems hold, in characters.
constexpr size_t kLongestFileName = 255;

// Every name between ";" separators is a plain file name: not empty, not
// longer than a file name can be, no control character, no wildcard, no
// path. The speed product's lists take "*" and "?" as wildcards, so anything
// else could hook programs that the entry does not name.
bool arePlainFileNames(const wchar_t* names, size_t length) {
    constexpr wchar_t kNotInAName[] = L"*?\"<>|/\\:";
    size_t nameLength = 0;
    for (size_t i = 0; i < length; ++i) {
        const wchar_t c = names[i];
        if (c == L';') {
            if (nameLength == 0)
                return false;
            nameLength = 0;
            continue;
        }
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || std::wcschr(kNotInAName, c) ||
            ++nameLength > kLongestFileName)
            return false;
    }
    return nameLength != 0;
}

// The speed product reads its lists in the system's code page: a name that
// code page cannot spell exactly would reach it as another program's name,
// or with "?" in it, which it takes as a wildcard.
bool speedProductSpells(const wchar_t* names, size_t length) {
    std::string spelt;
    try {
        return wideToAnsiExact(names, length, spelt, systemAnsiCodePage());
    } catch (const TextConversionError&) {
        return false;
    }
}

// One list under walk, its length and how many of its nodes were taken.
struct WalkLevel {
    ComPtr<IXMLDOMNodeList> list;
    long length;
    long index;
};

// Starts the walk over a list: its own iteration from the first node. The
// length is read once: the document does not change during the walk, and the
// platform's child lists count their nodes anew on every call, which would
// make the walk quadratic in the number of children.
WalkLevel beginLevel(ComPtr<IXMLDOMNodeList> list) {
    throwIfFailed(list->reset());
    long length = 0;
    throwIfFailed(list->get_length(&length));
    return WalkLevel{std::move(list), length, 0};
}

} // namespace

CAppNamesHelper::CAppNamesHelper(std::string url) : CHTTPXMLReqHelper("AppNamesHelper") {
    m_url = url.empty() ? kelvora_core::loadResourceString(IDS_COURSE_LIST_URL) : std::move(url);
    m_tagName = kelvora_core::loadResourceString(IDS_APPS_TAG);
    resume();
}

CAppNamesHelper::~CAppNamesHelper() {
    // The worker must be gone before the entries it writes.
    stopWorker();
}

void CAppNamesHelper::reset() {
    CHTTPXMLReqHelper::reset();
    // The entries of a request that did not give up are still being written.
    if (!requestUnderWay())
        m_appNames.clear();
}

bool CAppNamesHelper::succeeded() {
    return isDone() && m_status == 200 && m_xmlLoaded;
}

// Pre-order walk over the lists and every element below them. The levels are
// kept on the heap, so however deep the document is nested, the worker's
// stack does not grow with it.
void CAppNamesHelper::parseResponse(ComPtr<IXMLDOMNodeList> list) {
    std::vector<WalkLevel> levels;
    levels.push_back(beginLevel(std::move(list)));
    while (!levels.empty()) {
        WalkLevel& level = levels.back();
        if (level.index >= level.length) {
            levels.pop_back();
            continue;
        }
        ComPtr<IXMLDOMNode> node;
        throwIfFailed(level.list->nextNode(node.put()));
        if (!node)
            throw ComError{E_POINTER};
        ++level.index;
        ComPtr<IXMLDOMNodeList> children = visit(node.get());
        if (children)
            levels.push_back(beginLevel(std::move(children)));
    }
}

// Takes the node when it is an entry; returns its child list when the walk
// is to descend into it.
ComPtr<IXMLDOMNodeList> CAppNamesHelper::visit(IXMLDOMNode* node) {
    ComPtr<IXMLDOMNodeList> children;
    Bstr name;
    if (FAILED(node->get_nodeName(name.put())))
        return children;
    if (name.get() && std::wcscmp(name.get(), kEntryName) == 0)
        takeEntry(node);
    DOMNodeType type = NODE_INVALID;
    throwIfFailed(node->get_nodeType(&type));
    if (type != NODE_ELEMENT)
        return children;
    VARIANT_BOOL hasChildren = VARIANT_FALSE;
    throwIfFailed(node->hasChildNodes(&hasChildren));
    if (hasChildren == VARIANT_TRUE && FAILED(node->get_childNodes(children.put())))
        children.reset();
    return children;
}

void CAppNamesHelper::takeEntry(IXMLDOMNode* node) {
    Bstr text;
    throwIfFailed(node->get_text(text.put()));
    std::string displayName = toAnsi(text);

    ComPtr<IXMLDOMElement> element;
    throwIfFailed(
        node->QueryInterface(msxml_ids::kIXMLDOMElement, reinterpret_cast<void**>(element.put())));
    if (!element)
        throw ComError{E_NOINTERFACE};
    Bstr attributeName(kProgramAttribute);
    ComPtr<IXMLDOMAttribute> attribute;
    throwIfFailed(element->getAttributeNode(attributeName.get(), attribute.put()));
    if (!attribute)
        throw ComError{E_POINTER};

    Variant value;
    throwIfFailed(attribute->get_value(value.put()));
    throwIfFailed(VariantChangeType(&value.get(), &value.get(), 0, VT_BSTR));
    const BSTR program = value.get().bstrVal;
    const size_t length = SysStringLen(program);
    // A program name that is no plain file name, or that this process or the
    // speed product cannot spell exactly, could only be applied wrongly: the
    // entry is not listed.
    std::string programName;
    if (arePlainFileNames(program, length) && speedProductSpells(program, length) &&
        wideToAnsiExact(program, length, programName))
        m_appNames.emplace_back(std::move(displayName), std::move(programName));
}
