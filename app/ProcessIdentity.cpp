#include "ProcessIdentity.h"

#include "ProcessCommandLine.h"
#include "UniqueHandle.h"

namespace {

// Windows 7 knows no app containers: asked, it fails, and none runs there.
constexpr TOKEN_INFORMATION_CLASS kTokenIsAppContainer = static_cast<TOKEN_INFORMATION_CLASS>(29);

std::vector<BYTE> tokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
    DWORD size = 0;
    GetTokenInformation(token, kind, nullptr, 0, &size);
    std::vector<BYTE> information(size);
    if (size == 0 || !GetTokenInformation(token, kind, information.data(), size, &size))
        information.clear();
    return information;
}

DWORD integrityIn(const std::vector<BYTE>& label) {
    PSID sid = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(label.data())->Label.Sid;
    return *GetSidSubAuthority(sid, *GetSidSubAuthorityCount(sid) - 1);
}

struct FileId {
    DWORD volume = 0, high = 0, low = 0;
    bool operator==(const FileId& other) const {
        return volume == other.volume && high == other.high && low == other.low;
    }
};

// The file's volume and index, which name it uniquely on this computer;
// false when it cannot be opened to read them.
bool fileIdOf(const std::wstring& path, FileId& id) {
    HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION information{};
    const bool read = GetFileInformationByHandle(file, &information) != FALSE;
    CloseHandle(file);
    id = FileId{information.dwVolumeSerialNumber, information.nFileIndexHigh,
                information.nFileIndexLow};
    return read;
}

} // namespace

CProcessIdentity::CProcessIdentity(HANDLE process) {
    m_imagePath = processImagePath(process, m_error);
    if (m_error == ERROR_SUCCESS && !readToken(process))
        m_error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_ACCESS_DENIED;
}

const CProcessIdentity& CProcessIdentity::self() {
    static const CProcessIdentity own(GetCurrentProcess());
    return own;
}

bool CProcessIdentity::readToken(HANDLE process) {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &raw))
        return false;
    const UniqueHandle token(raw);
    m_user = tokenInformation(token.get(), TokenUser);
    const std::vector<BYTE> label = tokenInformation(token.get(), TokenIntegrityLevel);
    const std::vector<BYTE> container = tokenInformation(token.get(), kTokenIsAppContainer);
    m_appContainer =
        container.size() >= sizeof(DWORD) && *reinterpret_cast<const DWORD*>(container.data()) != 0;
    if (m_user.empty() || label.empty())
        return false;
    m_integrity = integrityIn(label);
    return true;
}

// Mandatory Integrity Control: a low or untrusted process is one the user's
// sandbox runs (docs/PLATFORMS.md, who the tool acts for).
bool CProcessIdentity::isOwnUsersDesktopProcess() const {
    const CProcessIdentity& own = self();
    return m_error == ERROR_SUCCESS && own.m_error == ERROR_SUCCESS &&
           EqualSid(reinterpret_cast<const TOKEN_USER*>(m_user.data())->User.Sid,
                    reinterpret_cast<const TOKEN_USER*>(own.m_user.data())->User.Sid) &&
           !m_appContainer && m_integrity >= SECURITY_MANDATORY_MEDIUM_RID;
}

bool CProcessIdentity::runsImageNamed(const wchar_t* fileName) const {
    const std::wstring::size_type slash = m_imagePath.find_last_of(L'\\');
    const std::wstring name =
        slash == std::wstring::npos ? m_imagePath : m_imagePath.substr(slash + 1);
    return !name.empty() &&
           CompareStringOrdinal(name.c_str(), -1, fileName, -1, TRUE) == CSTR_EQUAL;
}

bool CProcessIdentity::runsThisExecutable() const {
    return !m_imagePath.empty() && isSameFile(m_imagePath, self().m_imagePath);
}

bool isSameFile(const std::wstring& first, const std::wstring& second) {
    if (CompareStringOrdinal(first.c_str(), -1, second.c_str(), -1, TRUE) == CSTR_EQUAL)
        return true;
    FileId one, other;
    return fileIdOf(first, one) && fileIdOf(second, other) && one == other;
}
