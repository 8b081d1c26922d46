#pragma once

#include "HTTPXMLReqHelper.h"
#include "TestFiles.h"

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace test_documents {

using Entry = std::pair<std::string, std::string>;

using test_support::courseList;
// The entries of manyEntries(count), in order.
Entry manyEntry(size_t index);
// A course list of count entries, about 100 bytes each.
std::string manyEntries(size_t count);
// depth levels of elements, the root "applications" the first and an empty
// "app" the last, beside and in which lies what looks like markup and is none.
std::string deeplyNested(size_t depth);

// A new file name in the temporary folder (the file is not created).
std::string temporaryPath(const std::string& stem);
// "file:///" and the path with forward slashes.
std::string fileUrl(const std::string& path);
// Writes the bytes as they are; false when the file cannot be written.
bool writeBytes(const std::string& path, const std::string& bytes);

// A temporary file removed on destruction.
class TemporaryFile {
public:
    TemporaryFile(const std::string& stem, const std::string& bytes);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& path() const { return m_path; }
    std::string url() const { return fileUrl(m_path); }

private:
    std::string m_path;
};

// Waits for the helper's done event.
bool waitForDone(CHTTPXMLReqHelper& helper, DWORD timeoutMs);
// Waits until m_busy is clear.
bool waitUntilNotBusy(CHTTPXMLReqHelper& helper, DWORD timeoutMs);

// Milliseconds since construction.
class Stopwatch {
public:
    Stopwatch() : m_start(GetTickCount()) {}
    DWORD elapsed() const { return GetTickCount() - m_start; }

private:
    DWORD m_start;
};

// Processor time (user and kernel) a thread has used, in milliseconds.
double threadCpuMs(HANDLE thread);

} // namespace test_documents
