#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Who runs a process, as far as the tool may act for it: a name at a border
// (a window's title, a mutex) is anyone's, the process behind it is not.
class CProcessIdentity {
public:
    // Read through a handle with PROCESS_QUERY_LIMITED_INFORMATION at least;
    // readError() tells the platform's code when its image or its token
    // could not be read (the image's checks need the image only).
    explicit CProcessIdentity(HANDLE process);
    // This process's own.
    static const CProcessIdentity& self();

    DWORD readError() const { return m_error; }
    const std::wstring& imagePath() const { return m_imagePath; }
    DWORD integrity() const { return m_integrity; }
    // Runs as this process's user, outside an app container, at medium
    // integrity or above: a process the user's own programs may act for.
    bool isOwnUsersDesktopProcess() const;
    // Its executable's file name is the given one, compared without case.
    bool runsImageNamed(const wchar_t* fileName) const;
    // Its executable is the same file as this process's.
    bool runsThisExecutable() const;

private:
    bool readToken(HANDLE process);

    DWORD m_error = ERROR_SUCCESS;
    std::wstring m_imagePath;
    std::vector<BYTE> m_user;
    DWORD m_integrity = 0;
    bool m_appContainer = false;
};

// True when both paths name one file, however each is spelt (case, short
// names, a junction, a substituted or mapped drive).
bool isSameFile(const std::wstring& first, const std::wstring& second);
