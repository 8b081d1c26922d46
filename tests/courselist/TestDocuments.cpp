#include "TestDocuments.h"

#include "Utilities.h"

#include <atomic>
#include <cstdio>

namespace test_documents {

Entry manyEntry(size_t index) {
    char name[96];
    char program[32];
    std::snprintf(name, sizeof name, "Course application %06u with a display name of some length",
                  static_cast<unsigned>(index));
    std::snprintf(program, sizeof program, "course%06u.exe", static_cast<unsigned>(index));
    return Entry(name, program);
}

std::string manyEntries(size_t count) {
    std::string text = "<?xml version=\"1.0\"?>\n<applications>\n";
    text.reserve(count * 100 + 64);
    for (size_t i = 0; i < count; ++i) {
        const Entry entry = manyEntry(i);
        text += "  <app exe=\"" + entry.second + "\">" + entry.first + "</app>\n";
    }
    return text + "</applications>\n";
}

std::string deeplyNested(size_t depth) {
    std::string text = "<applications><!-- <x> --><?x <x>?><![CDATA[<x>]]>";
    text.reserve(depth * 15 + 64);
    for (size_t i = 2; i < depth; ++i)
        text += "<x a='/>'>";
    text += "<app exe=\"deep.exe\"/>";
    for (size_t i = 2; i < depth; ++i)
        text += "</x>";
    return text + "</applications>";
}

std::string temporaryPath(const std::string& stem) {
    static std::atomic<unsigned> counter{0};
    // Spelt as the tool spells its user folder: the session's profile name
    // lies outside the code page (scripts/test.sh).
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    return kelvora_core::detail::narrowPathOf(folder, CP_ACP) + "courselist_" +
           std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter) + "_" + stem;
}

std::string fileUrl(const std::string& path) {
    std::string url = "file:///" + path;
    for (char& c : url)
        c = c == '\\' ? '/' : c;
    return url;
}

bool writeBytes(const std::string& path, const std::string& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

TemporaryFile::TemporaryFile(const std::string& stem, const std::string& bytes)
    : m_path(temporaryPath(stem)) {
    writeBytes(m_path, bytes);
}

TemporaryFile::~TemporaryFile() {
    DeleteFileA(m_path.c_str());
}

bool waitForDone(CHTTPXMLReqHelper& helper, DWORD timeoutMs) {
    return helper.m_doneEvent.wait(timeoutMs) == kelvora_core::Signaled;
}

bool waitUntilNotBusy(CHTTPXMLReqHelper& helper, DWORD timeoutMs) {
    const Stopwatch watch;
    while (helper.m_busy) {
        if (watch.elapsed() >= timeoutMs)
            return false;
        Sleep(1);
    }
    return true;
}

double threadCpuMs(HANDLE thread) {
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(thread, &created, &exited, &kernel, &user))
        return -1;
    const auto ticks = [](const FILETIME& t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
}

} // namespace test_documents
