#include "LoopbackHttpServer.h"
#include "AppNamesHelper.h"
#include "ChildProcess.h"
#include "DocumentGuard.h"
#include "MsxmlIds.h"
#include "MutatedLists.h"
#include "HandleCycles.h"
#include "TestDocuments.h"
#include "TextConversion.h"
#include "TextFile.h"
#include "Utilities.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>

using namespace test_documents;
using test_support::HttpReply;
using test_support::LoopbackHttpServer;

namespace {

using Entries = std::vector<Entry>;

std::string stringTableText(unsigned id) {
    char buffer[512];
    const int length = LoadStringA(GetModuleHandleA(nullptr), id, buffer, sizeof buffer);
    return std::string(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

// Exposes what the owner cannot see, and runs the walk on a list of the test's own.
class InspectableHelper : public CAppNamesHelper {
public:
    using CAppNamesHelper::CAppNamesHelper;
    const std::string& url() const { return m_url; }
    const std::string& tagName() const { return m_tagName; }
    void walk(ComPtr<IXMLDOMNodeList> list) { parseResponse(std::move(list)); }
};

struct Outcome {
    bool done = false;
    bool succeeded = false;
    int status = 0;
    std::string errorText;
    Entries entries;
};

Outcome fetch(const std::string& url, DWORD timeoutMs = 20000) {
    CAppNamesHelper helper(url);
    helper.startRequest();
    Outcome outcome;
    outcome.done = waitForDone(helper, timeoutMs);
    if (outcome.done) {
        outcome.succeeded = helper.succeeded();
        outcome.status = helper.m_status;
        outcome.errorText = helper.m_errorText;
        outcome.entries = helper.m_appNames;
    }
    return outcome;
}

Outcome fromFile(const std::string& document) {
    const TemporaryFile file("courses.xml", document);
    return fetch(file.url());
}

class AppNamesHelperServerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.started()); }
    Outcome fromServer(const std::string& path, const std::string& document,
                       DWORD timeoutMs = 20000) {
        server.setReply(path, HttpReply::answer(200, document));
        return fetch(server.url(path), timeoutMs);
    }
    // The document rules hold alike for the server's answer and the local copy.
    Outcome fromServerAndFile(const std::string& document) {
        const Outcome served = fromServer("/rules.xml", document);
        const Outcome stored = fromFile(document);
        EXPECT_EQ(stored.succeeded, served.succeeded);
        EXPECT_EQ(stored.errorText, served.errorText);
        EXPECT_EQ(stored.entries, served.entries);
        return served;
    }
    LoopbackHttpServer server;
};

TEST(AppNamesHelper, EmptyUrlMeansTheCourseListServer) {
    InspectableHelper helper("");
    EXPECT_EQ(stringTableText(IDS_COURSE_LIST_URL), helper.url());
    EXPECT_EQ(0u, helper.url().find("http://"));
    EXPECT_NE(std::string::npos, helper.url().find("/lutegate/lutegate.xml"));
    EXPECT_EQ("applications", helper.tagName());
    EXPECT_EQ("AppNamesHelper", helper.getName());
    EXPECT_FALSE(helper.m_busy);
    EXPECT_FALSE(waitForDone(helper, 0));

    InspectableHelper other("file:///C:/data/list.xml");
    EXPECT_EQ("file:///C:/data/list.xml", other.url());
}

// Each property the parser is given, as "name=value resolveExternals
// validateOnParse" with the document's settings read back then.
std::vector<std::string> s_parserGiven;

void recordParserSetting(IXMLDOMDocument* document, const wchar_t* name, const VARIANT& value) {
    VARIANT_BOOL resolve = VARIANT_TRUE, validate = VARIANT_TRUE;
    document->get_resolveExternals(&resolve);
    document->get_validateOnParse(&validate);
    s_parserGiven.push_back(wideToAnsi(name) + "=" +
                            std::to_string(value.vt == VT_BOOL ? value.boolVal : value.lVal) + " " +
                            std::to_string(resolve) + " " + std::to_string(validate));
}

// Before each load, from the server and as the local copy, the parser is set
// to refuse document types and deep nesting and to resolve and validate
// nothing: what Wine keeps is read back, what it drops is recorded as sent.
TEST_F(AppNamesHelperServerTest, EntriesInDocumentOrder) {
    s_parserGiven.clear();
    document_guard::observeProperties(recordParserSetting);
    const Outcome outcome = fromServerAndFile(
        courseList({{"Alpha", "alpha.exe"}, {"Beta", "beta.exe;b2.exe"}, {"Gamma", "g.exe"}}));
    document_guard::observeProperties(nullptr);
    ASSERT_TRUE(outcome.done);
    EXPECT_TRUE(outcome.succeeded);
    EXPECT_EQ((Entries{{"Alpha", "alpha.exe"}, {"Beta", "beta.exe;b2.exe"}, {"Gamma", "g.exe"}}),
              outcome.entries);
    const std::string prohibitDtd = "ProhibitDTD=-1 0 0", maxDepth = "MaxElementDepth=64 0 0";
    EXPECT_EQ((std::vector<std::string>{prohibitDtd, maxDepth, prohibitDtd, maxDepth}),
              s_parserGiven);
}

// Each name of a program is a plain file name of at most 255 characters, or
// the entry is not listed: the speed product takes "*" and "?" as wildcards.
TEST(AppNamesHelper, DuplicatesStayAndOnlyPlainFileNamesAreListed) {
    const std::string longest = std::string(251, 'n') + ".exe";
    const Outcome outcome = fromFile(courseList({{"Same", "s.exe"},
                                                 {"Longest", "a.exe;" + longest},
                                                 {"Longer", "n" + longest},
                                                 {"Stream", "a.exe:b"},
                                                 {"Same", "s.exe"},
                                                 {"", "e.exe"},
                                                 {"Two", "a.exe;b c.exe"},
                                                 {"Empty", ""},
                                                 {"Gap", "a.exe;;b.exe"},
                                                 {"End", "a.exe;"},
                                                 {"All", "*"},
                                                 {"One", "a?.exe"},
                                                 {"Path", "c:\\x.exe"},
                                                 {"Up", "../x.exe"},
                                                 {"Pipe", "a|b.exe"},
                                                 {"Quote", "a&quot;b.exe"},
                                                 {"Angle", "&lt;a&gt;.exe"},
                                                 {"Tab", "a&#9;b.exe"}}));
    EXPECT_TRUE(outcome.succeeded);
    EXPECT_EQ((Entries{{"Same", "s.exe"},
                       {"Longest", "a.exe;" + longest},
                       {"Same", "s.exe"},
                       {"", "e.exe"},
                       {"Two", "a.exe;b c.exe"}}),
              outcome.entries);
}

TEST_F(AppNamesHelperServerTest, NamesAreComparedExactly) {
    const Outcome outcome =
        fromServerAndFile("<root xmlns:x=\"urn:x\"><app exe=\"out.exe\">Outside</app>"
                          "<Applications><app exe=\"c.exe\">Case</app></Applications>"
                          "<applications><App exe=\"1\">A</App><APP exe=\"2\">B</APP>"
                          "<x:app exe=\"3\">C</x:app><app exe=\"in.exe\">In</app>"
                          "<!-- app --></applications></root>");
    EXPECT_TRUE(outcome.succeeded);
    EXPECT_EQ((Entries{{"In", "in.exe"}}), outcome.entries);
}

TEST_F(AppNamesHelperServerTest, NestedContainerGivesItsEntriesTwice) {
    const Outcome outcome =
        fromServerAndFile("<root><applications><app exe=\"a\">A</app>"
                          "<group><applications><app exe=\"b\">B</app></applications></group>"
                          "<app exe=\"c\">C</app></applications></root>");
    EXPECT_TRUE(outcome.succeeded);
    EXPECT_EQ((Entries{{"A", "a"}, {"B", "b"}, {"C", "c"}, {"B", "b"}}), outcome.entries);
}

TEST_F(AppNamesHelperServerTest, InnerEntryFollowsTheOuterOne) {
    const Outcome outcome = fromServerAndFile(
        "<applications><app exe=\"o.exe\">Outer<app exe=\"i.exe\">Inner</app></app>"
        "</applications>");
    EXPECT_TRUE(outcome.succeeded);
    EXPECT_EQ((Entries{{"OuterInner", "o.exe"}, {"Inner", "i.exe"}}), outcome.entries);
}

// A well-formed page without the container (a portal's, say) is no course
// list; an empty container is an empty one.
TEST_F(AppNamesHelperServerTest, DocumentWithoutContainerIsCorrupt) {
    const Outcome page = fromServerAndFile("<courses><app exe=\"a\">A</app></courses>");
    EXPECT_FALSE(page.succeeded);
    EXPECT_NE(std::string::npos, page.errorText.find("267 (0x0)")) << page.errorText;
    EXPECT_TRUE(page.entries.empty());
    const Outcome empty = fromServerAndFile("<applications/>");
    EXPECT_TRUE(empty.succeeded);
    EXPECT_TRUE(empty.entries.empty());
}

// A document type is refused before it is parsed, from the server and as
// the local copy: no entity reaches the list, and nothing is fetched.
TEST_F(AppNamesHelperServerTest, DocumentTypeIsCorruptAndNothingIsFetched) {
    server.setReply("/fetched", HttpReply::answer(200, "<!ENTITY inj \"Fetched Course\">"));
    const std::string fetched = server.url("/fetched");
    // Ten levels, each ten of the one below: 10^10 characters when expanded.
    std::string bomb = "<!ENTITY e0 \"Injected\">";
    for (int i = 1; i < 10; ++i) {
        std::string value;
        for (int j = 0; j < 10; ++j)
            value += "&e" + std::to_string(i - 1) + ";";
        bomb += "<!ENTITY e" + std::to_string(i) + " \"" + value + "\">";
    }
    const std::string body = "<applications><app exe=\"a.exe\">&inj;</app></applications>";
    const std::string declarations[] = {
        "<!DOCTYPE applications [<!ENTITY inj \"Injected Course\">]>",
        "<!DOCTYPE applications [<!ENTITY inj SYSTEM \"file:///C:/windows/win.ini\">]>",
        "<?xml version=\"1.0\"?><!-- list --><!DOCTYPE applications [<!ENTITY inj SYSTEM \"" +
            fetched + "\">]>",
        "<!DOCTYPE applications SYSTEM \"" + fetched + "\">",
        "<!DOCTYPE applications [" + bomb + "<!ENTITY inj \"&e9;\">]>",
    };
    std::vector<std::string> documents{"\xFF\xFE" + utf16(declarations[0] + body)};
    for (const std::string& declaration : declarations)
        documents.push_back(declaration + body);
    for (const std::string& document : documents) {
        const Outcome outcome = fromServerAndFile(document);
        EXPECT_FALSE(outcome.succeeded) << document;
        EXPECT_NE(std::string::npos, outcome.errorText.find("267 (0x0)")) << document;
    }
    for (const std::string& line : server.requestLines())
        EXPECT_EQ(std::string::npos, line.find("/fetched")) << line;
}

// A local copy counts as loaded once its document loaded, as a server's
// answer does: what the walk found before the entry stays usable.
TEST_F(AppNamesHelperServerTest, EntryWithoutProgramEndsTheWalkOfTheLocalCopyAsOfTheServers) {
    const Outcome outcome =
        fromServerAndFile("<applications><app exe=\"a\">A</app><app exe=\"b\">B</app>"
                          "<app>C</app><app exe=\"d\">D</app></applications>");
    ASSERT_TRUE(outcome.done);
    EXPECT_TRUE(outcome.succeeded);
    EXPECT_EQ(200, outcome.status);
    EXPECT_EQ("", outcome.errorText);
    EXPECT_EQ((Entries{{"A", "a"}, {"B", "b"}}), outcome.entries);
}

TEST_F(AppNamesHelperServerTest, ProcessingInstructionNamedLikeAnEntryEndsTheWalk) {
    const Outcome outcome = fromServerAndFile(
        "<applications><app exe=\"a\">A</app><?app data?><app exe=\"b\">B</app></applications>");
    EXPECT_TRUE(outcome.succeeded);
    EXPECT_EQ((Entries{{"A", "a"}}), outcome.entries);
}

TEST(AppNamesHelper, MissingLocalCopyEndsQuietly) {
    const Outcome outcome = fetch(fileUrl(temporaryPath("lutegate.xml")));
    ASSERT_TRUE(outcome.done);
    EXPECT_FALSE(outcome.succeeded);
    EXPECT_EQ(0, outcome.status);
    EXPECT_EQ("", outcome.errorText);
    EXPECT_TRUE(outcome.entries.empty());
}

TEST(AppNamesHelper, ResetEmptiesTheEntriesAndTheHelperStartsAgain) {
    const TemporaryFile file("again.xml", courseList({{"One", "1.exe"}}));
    CAppNamesHelper helper(file.url());
    helper.startRequest();
    ASSERT_TRUE(waitForDone(helper, 10000));
    ASSERT_TRUE(waitUntilNotBusy(helper, 1000));
    EXPECT_EQ(1u, helper.m_appNames.size());
    helper.reset();
    EXPECT_TRUE(helper.m_appNames.empty());
    EXPECT_FALSE(helper.succeeded());
    helper.startRequest();
    ASSERT_TRUE(waitForDone(helper, 10000));
    EXPECT_TRUE(helper.succeeded());
    EXPECT_EQ((Entries{{"One", "1.exe"}}), helper.m_appNames);
}

// A display name that the code page cannot spell is listed with its default
// character; a program name is not spelt by approximation: its entry is not
// listed, and the walk goes on.
TEST_F(AppNamesHelperServerTest, NamesOutsideTheCodePage) {
    // UTF-8 of U+65E5 U+672C (two ideographs) around plain text.
    const std::string utf8Name = "Kurs \xE6\x97\xA5\xE6\x9C\xAC!";
    const Outcome outcome = fromServer("/intl.xml", "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                                                    "<applications><app exe=\"k.exe\">" +
                                                        utf8Name + "</app><app exe=\"" + utf8Name +
                                                        ".exe\">Hidden</app>"
                                                        "<app exe=\"caf\xC3\xA9.exe\">Caf\xC3\xA9"
                                                        "</app></applications>");
    ASSERT_EQ(1252u, GetACP()); // this program does not declare UTF-8
    ASSERT_TRUE(outcome.succeeded);
    EXPECT_EQ((Entries{{"Kurs ?\?!", "k.exe"}, {"Caf\xE9", "caf\xE9.exe"}}), outcome.entries);
}

// Code pages that refuse the no-best-fit flag (UTF-8 and GB18030 on Windows,
// UTF-7 under Wine too) convert all the same; one the platform cannot
// convert to (GB18030 under Wine 8) is an error, never an empty text.
TEST(TextConversion, CodePagesThatRefuseTheNoBestFitFlagStillConvert) {
    const std::wstring name = L"Kurs \x65E5\x672C";
    EXPECT_EQ("Kurs \xE6\x97\xA5\xE6\x9C\xAC", wideToAnsi(name, CP_UTF8));
    EXPECT_EQ("Kurs +ZeVnLA-", wideToAnsi(name, CP_UTF7));
    if (IsValidCodePage(54936))
        EXPECT_EQ(name, ansiToWide(wideToAnsi(name, 54936), 54936));
    else
        EXPECT_THROW(wideToAnsi(name, 54936), TextConversionError);
}

// The bound counts the bytes of the local copy the document makes (each line
// feed stored with a carriage return): the largest document accepted is
// listed whole; one more line feed is refused as corrupt with the copy's size,
// from the server as the next start refuses that copy.
TEST_F(AppNamesHelperServerTest, DocumentAboveTheSizeBoundIsCorrupt) {
    const size_t bound = CHTTPXMLReqHelper::kMaxDocumentBytes;
    const size_t count = bound / 100;
    std::string document = manyEntries(count);
    const size_t lineFeeds = std::count(document.begin(), document.end(), '\n');
    ASSERT_LT(document.size() + lineFeeds, bound);
    document.resize(bound - lineFeeds, ' ');
    const Stopwatch watch;
    const Outcome largest = fromServer("/largest.xml", document, 60000);
    ASSERT_TRUE(largest.succeeded) << largest.errorText;
    ASSERT_EQ(count, largest.entries.size());
    EXPECT_EQ(manyEntry(0), largest.entries.front());
    EXPECT_EQ(manyEntry(count - 1), largest.entries.back());
    std::printf("%u entries from the server in %lu ms\n", static_cast<unsigned>(count),
                watch.elapsed());
    const std::string larger = document + "\n";
    const TemporaryFile copy("larger.xml", "");
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), replaceTextFile(copy.path(), larger));
    char expected[32];
    std::snprintf(expected, sizeof expected, "267 (0x%x)", static_cast<unsigned>(bound + 2));
    for (const Outcome& outcome : {fromServer("/larger.xml", larger, 60000), fetch(copy.url())}) {
        EXPECT_FALSE(outcome.succeeded);
        EXPECT_NE(std::string::npos, outcome.errorText.find(expected)) << outcome.errorText;
        EXPECT_TRUE(outcome.entries.empty());
    }
}

// Refused as its headers arrive, so the request is let go before it completes.
TEST_F(AppNamesHelperServerTest, AnswerThatAnnouncesMoreThanTheBoundIsCorrupt) {
    server.setReply("/announced.xml", HttpReply::announce(1u << 30, manyEntries(1000)));
    const Stopwatch announced;
    const Outcome refused = fetch(server.url("/announced.xml"));
    EXPECT_LT(announced.elapsed(), 5000u);
    EXPECT_NE(std::string::npos, refused.errorText.find("267 (0x40000000)")) << refused.errorText;
}

// Elements nest at most 64 deep on every platform, from the server and as
// the local copy (Wine's parser alone reads 257 levels, Windows' any number).
TEST_F(AppNamesHelperServerTest, DocumentNestedDeeperThanTheLimitIsCorrupt) {
    const Outcome deepest = fromServerAndFile(deeplyNested(document_guard::kMaxElementDepth));
    EXPECT_TRUE(deepest.succeeded) << deepest.errorText;
    EXPECT_EQ((Entries{{"", "deep.exe"}}), deepest.entries);
    for (const size_t depth : {65, 100, 100000}) {
        const Outcome outcome = fromServerAndFile(deeplyNested(depth));
        EXPECT_FALSE(outcome.succeeded) << depth;
        EXPECT_NE(std::string::npos, outcome.errorText.find("267 (0x0)")) << outcome.errorText;
    }
}

// The walk itself on a tree deeper than any thread stack would take recursively.
TEST(AppNamesHelperWalk, HundredThousandLevelsDeep) {
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    {
        ComPtr<IXMLDOMDocument> document;
        ASSERT_HRESULT_SUCCEEDED(createInstance(msxml_ids::kDOMDocument30,
                                                msxml_ids::kIXMLDOMDocument,
                                                reinterpret_cast<void**>(document.put())));
        const auto element = [&](const wchar_t* name) {
            Bstr tag(name);
            ComPtr<IXMLDOMElement> created;
            throwIfFailed(document->createElement(tag.get(), created.put()));
            return created;
        };
        const auto append = [](IXMLDOMNode* parent, IXMLDOMNode* child) {
            ComPtr<IXMLDOMNode> added;
            throwIfFailed(parent->appendChild(child, added.put()));
        };
        ComPtr<IXMLDOMElement> root = element(L"applications");
        append(document.get(), root.get());
        IXMLDOMNode* parent = root.get();
        std::vector<ComPtr<IXMLDOMElement>> chain;
        const size_t depth = 100000;
        chain.reserve(depth);
        for (size_t i = 0; i < depth; ++i) {
            chain.push_back(element(L"x"));
            append(parent, chain.back().get());
            parent = chain.back().get();
        }
        ComPtr<IXMLDOMElement> entry = element(L"app");
        Bstr exe(L"exe");
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocString(L"deep.exe");
        throwIfFailed(entry->setAttribute(exe.get(), value));
        VariantClear(&value);
        append(parent, entry.get());

        Bstr tag(L"applications");
        ComPtr<IXMLDOMNodeList> list;
        ASSERT_HRESULT_SUCCEEDED(document->getElementsByTagName(tag.get(), list.put()));
        InspectableHelper helper("file:///unused.xml");
        helper.walk(std::move(list));
        EXPECT_EQ((Entries{{"", "deep.exe"}}), helper.m_appNames);
    }
    if (SUCCEEDED(init))
        CoUninitialize();
}

// The hostile-input campaign: COURSELIST_CAMPAIGN_INPUTS mutated course lists
// (kCampaignInputs when unset) from COURSELIST_CAMPAIGN_SEED on (1 when unset).
constexpr uint32_t kCampaignInputs = 200;
// An Update ends 2 s after its request's limit; the start's load waits 30 s.
constexpr DWORD kRequestLimitMs = CHTTPXMLReqHelper::kServerTimeoutMs + 2000;
std::atomic<uint32_t> s_campaignSeed{0};

std::string replayText(uint32_t seed) {
    return "replay with COURSELIST_CAMPAIGN_SEED=" + std::to_string(seed) +
           " COURSELIST_CAMPAIGN_INPUTS=1";
}

// A crash on a worker thread still names its input.
LONG WINAPI reportCrashedInput(EXCEPTION_POINTERS*) {
    std::fprintf(stderr, "crash: %s\n", replayText(s_campaignSeed).c_str());
    std::fflush(stderr);
    return EXCEPTION_CONTINUE_SEARCH;
}

// The number of the message, 0 when it is none of the request's messages.
int errorCode(const std::string& text) {
    for (int code = IDS_ERR_NO_XMLHTTP; code <= IDS_ERR_INCOMPLETE; ++code) {
        const std::string message = kelvora_core::formatMessage(static_cast<unsigned>(code), 0);
        const size_t fixed = std::min(message.rfind("(0x"), message.size());
        if (text.compare(0, fixed, message, 0, fixed) == 0)
            return code;
    }
    return 0;
}

// Each name between ";" a plain file name of at most 255 characters.
bool passesNameRules(const std::string& program) {
    std::string name;
    std::istringstream names(program + ";");
    while (std::getline(names, name, ';')) {
        if (name.empty() || name.size() > 255 || name.find_first_of("*?\"<>|/\\:") != name.npos ||
            std::any_of(name.begin(), name.end(), [](char c) { return c >= 0 && c < 0x20; }))
            return false;
    }
    return true;
}

bool declaresDocumentType(std::string bytes) {
    bytes.erase(std::remove(bytes.begin(), bytes.end(), '\0'), bytes.end());
    return bytes.find("<!DOCTYPE") != bytes.npos || bytes.find("<!ENTITY") != bytes.npos;
}

// Listed, every program passing the name rules, or a numbered error.
std::string expectListOrNumberedError(const Outcome& outcome, const std::string& bytes) {
    if (!outcome.succeeded) {
        const int code = errorCode(outcome.errorText);
        EXPECT_NE(0, code) << "no numbered error: \"" << outcome.errorText << "\"";
        return std::to_string(code);
    }
    EXPECT_FALSE(declaresDocumentType(bytes)) << "a document type was listed";
    for (const Entry& entry : outcome.entries)
        EXPECT_TRUE(passesNameRules(entry.second)) << entry.second;
    return "listed";
}

// Each mutated list through the worker from the server and as the local copy:
// every request ends within its limit in a list or a numbered error, no
// document type is listed, and reading the copy leaves it as it was.
TEST_F(AppNamesHelperServerTest, MutatedCourseListsCampaign) {
    const uint32_t first = test_support::environmentNumber("COURSELIST_CAMPAIGN_SEED", 1);
    const uint32_t inputs =
        test_support::environmentNumber("COURSELIST_CAMPAIGN_INPUTS", kCampaignInputs);
    const LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(reportCrashedInput);
    std::map<std::string, unsigned> outcomes;
    const Stopwatch campaign;
    DWORD longest = 0;
    uint32_t seed = first;
    for (; seed - first < inputs && !HasFailure(); ++seed) {
        s_campaignSeed = seed;
        const MutatedList list = mutatedCourseList(seed);
        SCOPED_TRACE(list.kinds + ", " + std::to_string(list.bytes.size()) +
                     " bytes: " + replayText(seed));
        server.setReply("/campaign.xml", HttpReply::answer(200, list.bytes));
        const TemporaryFile copy("campaign.xml", list.bytes);
        for (const std::string& url : {server.url("/campaign.xml"), copy.url()}) {
            const Stopwatch request;
            const Outcome outcome = fetch(url, kRequestLimitMs);
            longest = std::max(longest, request.elapsed());
            ASSERT_TRUE(outcome.done) << url << " did not end within its limit";
            ++outcomes[url.substr(0, 4) + " " + expectListOrNumberedError(outcome, list.bytes)];
        }
        EXPECT_EQ(list.bytes, test_support::readFile(copy.path()));
    }
    SetUnhandledExceptionFilter(previous);
    std::printf("campaign: %u lists from seed %u in %lu ms, longest request %lu ms\n", seed - first,
                first, campaign.elapsed(), longest);
    for (const auto& [outcome, count] : outcomes)
        std::printf("  %s: %u\n", outcome.c_str(), count);
}

TEST_F(AppNamesHelperServerTest, HelpersComeAndGoWithoutLeakingHandles) {
    server.setReply("/small.xml", HttpReply::answer(200, courseList({{"A", "a.exe"}})));
    // Wine keeps two handles each time the last thread leaves the apartment after an
    // HTTP request; this thread stays in it, so only the helpers' own handles count.
    const MultithreadedApartment apartment;
    const auto cycle = [&] {
        CAppNamesHelper helper(server.url("/small.xml"));
        helper.startRequest();
        ASSERT_TRUE(waitForDone(helper, 10000));
        EXPECT_TRUE(helper.succeeded());
    };
    expectNoHandleGrowth(server, cycle);
}

} // namespace
