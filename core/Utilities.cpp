#include "Utilities.h"

#include "TextConversion.h"

#include <sddl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace kelvora_core {

namespace {

bool isLeadByte(const CPINFO& info, unsigned char byte) {
    for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
        if (byte >= info.LeadByte[i] && byte <= info.LeadByte[i + 1])
            return true;
    }
    return false;
}

// The entry of the default (English) table, which holds every string, also
// those that no translation has: the ones that are not text for people.
const wchar_t* defaultTableString(unsigned id, int& length) {
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC block = FindResourceExA(module, RT_STRING, MAKEINTRESOURCEA(id / 16 + 1),
                                        MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    const auto* entry =
        block ? static_cast<const wchar_t*>(LockResource(LoadResource(module, block))) : nullptr;
    if (!entry)
        return nullptr;
    // A block holds 16 counted strings.
    for (unsigned i = 0; i < id % 16; ++i)
        entry += 1 + *entry;
    length = *entry;
    return entry + 1;
}

BOOL CALLBACK addStringBlock(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR blocks) {
    if (IS_INTRESOURCE(name))
        reinterpret_cast<std::vector<unsigned>*>(blocks)->push_back(LOWORD(name));
    return TRUE;
}

// Every text of the string table as Windows picks it for the user's
// language, spelt exactly in the ANSI code page. The dialogs' texts are
// written in the same letters as their language's table.
bool codePageSpellsTheTexts() {
    if (GetACP() == CP_UTF8)
        return true;
    const HMODULE module = GetModuleHandleW(nullptr);
    std::vector<unsigned> blocks;
    EnumResourceNamesW(module, reinterpret_cast<LPCWSTR>(RT_STRING), addStringBlock,
                       reinterpret_cast<LONG_PTR>(&blocks));
    std::string spelt;
    for (const unsigned block : blocks) {
        for (unsigned id = (block - 1) * 16; id < block * 16; ++id) {
            const wchar_t* text = nullptr;
            const int length = LoadStringW(module, id, reinterpret_cast<wchar_t*>(&text), 0);
            try {
                if (length > 0 && text && !wideToAnsiExact(text, length, spelt))
                    return false;
            } catch (const TextConversionError&) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

// Decided once, before the first text is read (the dialog's template): the
// code page and the user's language stay what they are for the process.
LANGID textLanguage() {
    static const LANGID language = codePageSpellsTheTexts()
                                       ? MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)
                                       : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    return language;
}

std::string toLowerAscii(std::string text) {
    return toLowerAscii(std::move(text), CP_ACP);
}

// A lead byte takes the next byte with it. UTF-8 has no lead bytes in this
// sense: no byte of a multi-byte sequence is below 0x80.
std::string toLowerAscii(std::string text, UINT codePage) {
    CPINFO info{};
    if (!GetCPInfo(codePage, &info))
        info = CPINFO{};
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (isLeadByte(info, byte))
            ++i;
        else if (byte >= 'A' && byte <= 'Z')
            text[i] = static_cast<char>(byte - 'A' + 'a');
    }
    return text;
}

// The table's own text, read in place: no buffer cuts a long one short.
// Windows picks the table of the thread's UI language; a string that its
// translation lacks is the default table's.
std::string loadResourceString(unsigned id) {
    const wchar_t* text = nullptr;
    int length = 0;
    if (textLanguage() == MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL))
        length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<wchar_t*>(&text), 0);
    if (length <= 0 || !text)
        text = defaultTableString(id, length);
    if (length <= 0 || !text)
        return {};
    const int size = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string result(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_ACP, 0, text, length, result.data(), size, nullptr, nullptr);
    return result;
}

// The system's own printf (the C runtime DLL's) rather than the compiler's,
// which would bring its floating point into the executable.
std::string formatMessage(unsigned id, uint32_t value) {
    const std::string format = loadResourceString(id);
    const unsigned shown = value;
    const int length = _scprintf(format.c_str(), id, shown);
    if (length <= 0)
        return format;
    std::vector<char> text(static_cast<size_t>(length) + 1);
    _snprintf(text.data(), text.size(), format.c_str(), id, shown);
    return std::string(text.data(), static_cast<size_t>(length));
}

namespace detail {

std::string fileNameOf(const std::string& path) {
    const size_t slash = path.rfind('\\');
    if (slash == std::string::npos || slash + 1 == path.size())
        return path;
    return path.substr(slash + 1);
}

std::wstring userAppFolderFrom(HRESULT lookupResult, const wchar_t* localAppData) {
    if (FAILED(lookupResult) || !localAppData)
        return {};
    wchar_t buffer[MAX_PATH];
    lstrcpynW(buffer, localAppData, MAX_PATH);
    return PathAppendW(buffer, L"Kelvora") ? std::wstring(buffer) : std::wstring();
}

std::string narrowPathOf(const std::wstring& path, UINT codePage) {
    std::string narrow;
    try {
        if (wideToAnsiExact(path.data(), path.size(), narrow, codePage))
            return narrow;
        // The short form may be the longer one: Wine makes "_UKA~INY" of a
        // six-letter name that starts with a letter outside the code page.
        const DWORD needed = GetShortPathNameW(path.c_str(), nullptr, 0);
        std::wstring shortPath(needed, L'\0');
        const DWORD length = needed ? GetShortPathNameW(path.c_str(), shortPath.data(), needed) : 0;
        if (length == 0 || length >= needed)
            return {};
        shortPath.resize(length);
        if (wideToAnsiExact(shortPath.data(), shortPath.size(), narrow, codePage))
            return narrow;
    } catch (const TextConversionError&) {
    }
    return {};
}

} // namespace detail

namespace {

constexpr DWORD kExePathChars = 1024;

std::string queryExePath() {
    char buffer[kExePathChars];
    const DWORD length = GetModuleFileNameA(nullptr, buffer, kExePathChars);
    if (length == 0 || length >= kExePathChars) // failed, or cut to the buffer
        return {};
    return std::string(buffer, length);
}

// Looked up and created in UTF-16, so that the folder is the user's own
// whatever the code page; handed out in the code page.
std::string computeUserAppPath() {
    wchar_t folder[MAX_PATH] = {};
    const HRESULT hr =
        SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, folder);
    // Created with its own capitals; the path handed out is in small letters.
    const std::wstring path = detail::userAppFolderFrom(hr, folder);
    if (path.empty())
        return {};
    CreateDirectoryW(path.c_str(), nullptr);
    return toLowerAscii(detail::narrowPathOf(path, CP_ACP));
}

struct WorldAccess {
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES attributes;

    WorldAccess() {
        InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
        attributes.nLength = sizeof attributes;
        attributes.lpSecurityDescriptor = &descriptor;
        attributes.bInheritHandle = FALSE;
    }
};

struct LocalFreeDeleter {
    void operator()(void* memory) const { LocalFree(memory); }
};

// The maker's user gets every right (a family program opening it with all access works
// whoever made it), Everyone (WD) what peers use; OWNER RIGHTS (S-1-3-4), in place of an
// owner's implicit READ_CONTROL and WRITE_DAC, lets no one else change access or owner. The
// low label lets low-integrity processes write (docs/PLATFORMS.md, access of the shared objects).
std::string sharedObjectSddl(const std::string& user, const char* all, const char* peers) {
    return "D:P(A;;" + std::string(all) + ";;;" + user + ")(A;;" + peers + ";;;WD)(A;;" + peers +
           ";;;S-1-3-4)S:(ML;;NW;;;LW)";
}

// The process's user as an SDDL SID; empty when it cannot be read.
std::string processUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return {};
    std::string sid;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size ? size : 1);
    char* text = nullptr;
    if (GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
        ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text))
        sid = text;
    LocalFree(text);
    CloseHandle(token);
    return sid;
}

struct SharedAccess {
    std::unique_ptr<void, LocalFreeDeleter> descriptor;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};

    SharedAccess(const std::string& user, const char* all, const char* peers) {
        PSECURITY_DESCRIPTOR raw = nullptr;
        if (!user.empty() &&
            ConvertStringSecurityDescriptorToSecurityDescriptorA(
                sharedObjectSddl(user, all, peers).c_str(), SDDL_REVISION_1, &raw, nullptr))
            descriptor.reset(raw);
        attributes.lpSecurityDescriptor = descriptor.get();
    }
};

} // namespace

// Built once; a failed lookup is tried again by the next call.
const char* getAppExeName() {
    static std::mutex lock;
    static std::string name;
    static std::atomic<bool> known{false};
    if (!known.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> hold(lock);
        if (!known.load(std::memory_order_relaxed)) {
            const std::string path = queryExePath();
            if (path.empty())
                return "";
            name = toLowerAscii(detail::fileNameOf(path));
            known.store(true, std::memory_order_release);
        }
    }
    return name.c_str();
}

const char* getUserAppPath() {
    static const std::string path = computeUserAppPath();
    return path.c_str();
}

SECURITY_ATTRIBUTES* getWorldAccessSecurityAttributes() {
    static WorldAccess worldAccess;
    return &worldAccess.attributes;
}

// Per kind, all access for the user and what peers use: a mapping SECTION_QUERY |
// SECTION_MAP_WRITE | SECTION_MAP_READ (mappings know no SYNCHRONIZE); a mutex SYNCHRONIZE |
// MUTEX_MODIFY_STATE; an event SYNCHRONIZE | EVENT_MODIFY_STATE; and READ_CONTROL, so that
// anyone may read the descriptor and see that.
SECURITY_ATTRIBUTES* getSharedObjectSecurityAttributes(SharedObject kind) {
    static const std::string user = processUserSid();
    static SharedAccess access[] = {SharedAccess(user, "0xf001f", "0x20007"),
                                    SharedAccess(user, "0x1f0001", "0x120001"),
                                    SharedAccess(user, "0x1f0003", "0x120002")};
    SharedAccess& chosen = access[static_cast<int>(kind)];
    return chosen.descriptor ? &chosen.attributes : nullptr;
}

bool SetObjectToLowIntegrity(HANDLE const object, SE_OBJECT_TYPE type) {
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA("S:(ML;;NW;;;LW)", SDDL_REVISION_1,
                                                              &raw, nullptr))
        return false;
    std::unique_ptr<void, LocalFreeDeleter> descriptor(raw);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL sacl = nullptr;
    if (!GetSecurityDescriptorSacl(raw, &present, &sacl, &defaulted))
        return false;
    if (SetSecurityInfo(object, type, LABEL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                        sacl) != ERROR_SUCCESS)
        return false;
    // Where a kernel object's label is not kept, the object's own security call
    // sets it (docs/PLATFORMS.md, access of the shared objects).
    if (type != SE_KERNEL_OBJECT || hasLowIntegrityLabel(object))
        return true;
    return SetKernelObjectSecurity(object, LABEL_SECURITY_INFORMATION, raw) &&
           hasLowIntegrityLabel(object);
}

bool hasLowIntegrityLabel(HANDLE object) {
    PACL sacl = nullptr;
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (GetSecurityInfo(object, SE_KERNEL_OBJECT, LABEL_SECURITY_INFORMATION, nullptr, nullptr,
                        nullptr, &sacl, &raw) != ERROR_SUCCESS)
        return false;
    std::unique_ptr<void, LocalFreeDeleter> descriptor(raw);
    for (WORD i = 0; sacl && i < sacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(sacl, i, &ace))
            continue;
        const auto* label = static_cast<SYSTEM_MANDATORY_LABEL_ACE*>(ace);
        PSID sid = const_cast<DWORD*>(&label->SidStart);
        if (label->Header.AceType == SYSTEM_MANDATORY_LABEL_ACE_TYPE &&
            (label->Mask & SYSTEM_MANDATORY_LABEL_NO_WRITE_UP) &&
            *GetSidSubAuthority(sid, *GetSidSubAuthorityCount(sid) - 1) ==
                SECURITY_MANDATORY_LOW_RID)
            return true;
    }
    return false;
}

bool runningUnderWine() {
#ifdef KELVORA_WINDOWS_ROAD
    return false;
#else
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
#endif
}

} // namespace kelvora_core
