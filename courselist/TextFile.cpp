#include "TextFile.h"

#include <algorithm>

namespace {

// Closes the file handle it holds.
class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : m_handle(handle) {}
    ~FileHandle() { close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool valid() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_handle; }
    bool close() {
        const bool closed = !valid() || CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE m_handle;
};

// Largest piece handed to one read or write call.
constexpr DWORD kPieceBytes = 1u << 20;

bool readWhole(HANDLE file, char* data, size_t size) {
    while (size > 0) {
        DWORD read = 0;
        if (!ReadFile(file, data, static_cast<DWORD>(std::min<size_t>(size, kPieceBytes)), &read,
                      nullptr) ||
            read == 0)
            return false;
        data += read;
        size -= read;
    }
    return true;
}

bool writeWhole(HANDLE file, const char* data, size_t size) {
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(file, data, static_cast<DWORD>(std::min<size_t>(size, kPieceBytes)),
                       &written, nullptr) ||
            written == 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

// Each carriage return and line feed pair becomes a line feed.
void joinLineEnds(std::string& text) {
    size_t out = 0;
    for (size_t in = 0; in < text.size(); ++in) {
        if (text[in] == '\r' && in + 1 < text.size() && text[in + 1] == '\n')
            continue;
        text[out++] = text[in];
    }
    text.resize(out);
}

std::string withCarriageReturns(const std::string& text) {
    std::string stored;
    stored.reserve(text.size() + static_cast<size_t>(std::count(text.begin(), text.end(), '\n')));
    for (const char c : text) {
        if (c == '\n')
            stored += '\r';
        stored += c;
    }
    return stored;
}

DWORD writeFlushed(const std::string& path, const std::string& text) {
    FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid() || !writeWhole(file.get(), text.data(), text.size()) ||
        !FlushFileBuffers(file.get()) || !file.close())
        return GetLastError();
    return ERROR_SUCCESS;
}

} // namespace

std::optional<uint64_t> readTextFile(const std::string& path, uint64_t maxBytes,
                                     std::string& text) {
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file.valid() || !GetFileSizeEx(file.get(), &size))
        return std::nullopt;
    const uint64_t bytes = static_cast<uint64_t>(size.QuadPart);
    if (bytes > maxBytes)
        return bytes;
    std::string content(static_cast<size_t>(bytes), '\0');
    if (!readWhole(file.get(), content.data(), content.size()))
        return std::nullopt;
    joinLineEnds(content);
    text = std::move(content);
    return bytes;
}

uint64_t storedTextBytes(const std::string& text) {
    return text.size() + static_cast<uint64_t>(std::count(text.begin(), text.end(), '\n'));
}

DWORD replaceTextFile(const std::string& path, const std::string& text) {
    if (path.empty())
        return ERROR_PATH_NOT_FOUND;
    const std::string temporary = path + ".tmp";
    DeleteFileA(temporary.c_str());
    DWORD error = writeFlushed(temporary, withCarriageReturns(text));
    if (error == ERROR_SUCCESS && !MoveFileExA(temporary.c_str(), path.c_str(),
                                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = GetLastError();
    if (error != ERROR_SUCCESS)
        DeleteFileA(temporary.c_str());
    return error;
}
