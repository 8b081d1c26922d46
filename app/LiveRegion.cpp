#include "LiveRegion.h"

#include "ComSupport.h"

#include <oleacc.h>

namespace {

// The accessibility property service {B5F8350B-0548-48B1-A6EE-88BD00B4A5E7}
// and its interface {6E26E776-04F0-495D-80E4-3330352E3169}.
const CLSID kAccPropServices = {
    0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
const IID kIAccPropServices = {
    0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
// UI Automation's LiveSetting {C12BCD8E-2A8E-4950-8AE7-3625111D58EB}, and its
// value for a region read out once the reader has finished what it says.
const MSAAPROPID kLiveSetting = {
    0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
constexpr LONG kPolite = 1;
// Windows 8 and later know both; Windows 7 ignores them (docs/PLATFORMS.md, screen readers).
constexpr DWORD kLiveRegionChanged = 0x8019;

std::string withoutTrailingDots(const std::string& text) {
    return text.substr(0, text.find_last_not_of('.') + 1);
}

} // namespace

// The live setting on the window, held until the window goes, with the
// thread in a COM apartment meanwhile. A system without the service leaves
// the window unmarked; the announcements are raised all the same.
struct CLiveRegion::Annotation {
    explicit Annotation(HWND marked) : window(marked) {
        if (FAILED(CoCreateInstance(kAccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                    kIAccPropServices, reinterpret_cast<void**>(services.put()))))
            return;
        VARIANT polite{};
        polite.vt = VT_I4;
        polite.lVal = kPolite;
        services->SetHwndProp(window, OBJID_CLIENT, CHILDID_SELF, kLiveSetting, polite);
    }
    ~Annotation() {
        if (services)
            services->ClearHwndProps(window, OBJID_CLIENT, CHILDID_SELF, &kLiveSetting, 1);
    }

    const SingleThreadedApartment apartment;
    ComPtr<IAccPropServices> services;
    const HWND window;
};

CLiveRegion::CLiveRegion() = default;

CLiveRegion::~CLiveRegion() = default;

void CLiveRegion::Mark(HWND window) {
    m_window = window;
    m_news.clear();
    m_annotation = std::make_unique<Annotation>(window);
}

void CLiveRegion::Unmark() {
    m_annotation.reset();
    m_window = nullptr;
}

void CLiveRegion::TextChanged(const std::string& text) {
    std::string news = withoutTrailingDots(text);
    if (!m_window || news == m_news)
        return;
    m_news = std::move(news);
    if (!m_news.empty())
        NotifyWinEvent(kLiveRegionChanged, m_window, OBJID_CLIENT, CHILDID_SELF);
}
