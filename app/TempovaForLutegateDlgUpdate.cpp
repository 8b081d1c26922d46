// The start-up load of the local course list and the Update command. Both
// work through the course list helper; until it is part of the build, the
// list starts empty and Update does nothing.
#include "TempovaForLutegateDlg.h"

#include "ProgramLists.h"

void CTempovaForLutegateDlg::LoadLocalCourseList() {}

void CTempovaForLutegateDlg::OnBnClickedUpdate() {}

void CTempovaForLutegateDlg::OnTimer(UINT_PTR nIDEvent) {
    // Ticks of any other timer are ignored, without the default handling.
    if (nIDEvent != m_nTimer)
        return;
}

// No helper is ever created yet, so there is nothing to delete.
void CTempovaForLutegateDlg::DeleteAppNamesHelper() {
    m_pAppNamesHelper = nullptr;
}

bool CTempovaForLutegateDlg::IsAppHooked(const std::string& hooked,
                                         const std::string& programName) {
    return hooked.find(";" + program_lists::toLowerAscii(programName)) != std::string::npos;
}
