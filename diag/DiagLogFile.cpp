#include "DiagLogFile.h"

namespace kelvora_core {

CDiagLogFile::CDiagLogFile(const std::string& name, uint32_t maxBytes)
    : m_name(name), m_maxBytes(maxBytes) {
    open();
}

CDiagLogFile::~CDiagLogFile() {
    close();
}

// Shared for deleting too, so that another recorder may start a new file
// while this one holds it.
void CDiagLogFile::open() {
    if (m_name.empty())
        return;
    m_file = CreateFileA(m_name.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void CDiagLogFile::close() {
    if (isOpen())
        CloseHandle(m_file);
    m_file = INVALID_HANDLE_VALUE;
}

bool CDiagLogFile::full(size_t adding) const {
    LARGE_INTEGER size{};
    return !GetFileSizeEx(m_file, &size) ||
           static_cast<uint64_t>(size.QuadPart) + adding > m_maxBytes;
}

// The file under the name may be new already (another recorder started it);
// else this one moves it aside and starts it.
bool CDiagLogFile::startNewFile(size_t adding) {
    close();
    open();
    if (isOpen() && !full(adding))
        return true;
    close();
    MoveFileExA(m_name.c_str(), previousName(m_name).c_str(), MOVEFILE_REPLACE_EXISTING);
    open();
    return isOpen() && !full(adding);
}

bool CDiagLogFile::append(const std::string& line) {
    const std::string text = line + "\r\n";
    if (!isOpen() || (full(text.size()) && !startNewFile(text.size())))
        return false;
    DWORD written = 0;
    return WriteFile(m_file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

std::string asOneLine(std::string line) {
    for (char& c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    }
    return line;
}

} // namespace kelvora_core
