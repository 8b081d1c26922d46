#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace kelvora_core {

// The log file as a recorder appends to it, shared with other readers,
// writers and recorders. It stays below its bound: when a line would take it
// past, it becomes the file before (its name and ".old", replacing an older
// one) and a new file starts under its name.
class CDiagLogFile {
public:
    static constexpr uint32_t kMaxBytes = 4u << 20;

    explicit CDiagLogFile(const std::string& name, uint32_t maxBytes = kMaxBytes);
    ~CDiagLogFile();
    CDiagLogFile(const CDiagLogFile&) = delete;
    CDiagLogFile& operator=(const CDiagLogFile&) = delete;

    bool isOpen() const { return m_file != INVALID_HANDLE_VALUE; }
    // Appends the line and a line end; false when it was not written (no
    // file, or a full one that could not be started anew).
    bool append(const std::string& line);

    static std::string previousName(const std::string& name) { return name + ".old"; }

private:
    void open();
    void close();
    bool full(size_t adding) const;
    bool startNewFile(size_t adding);

    std::string m_name;
    uint32_t m_maxBytes;
    HANDLE m_file = INVALID_HANDLE_VALUE;
};

// One line of the file: every control character in it (line breaks among
// them) replaced by a space, so that no text can forge the lines of others.
std::string asOneLine(std::string line);

} // namespace kelvora_core
