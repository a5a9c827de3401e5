#include "win32/HtmlHelpViewer.h"

#include <windows.h>

namespace qb {

namespace {

// The HTML Help control's published commands.
constexpr UINT HH_DISPLAY_TOPIC = 0x0000;
constexpr UINT HH_CLOSE_ALL = 0x0012;
constexpr UINT HH_INITIALIZE = 0x001C;
constexpr UINT HH_UNINITIALIZE = 0x001D;

// The argument is pointer-sized: HH_INITIALIZE passes the cookie's address, which must not be cut to 32 bits.
using HtmlHelpFunction = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);

HMODULE HelpLibrary = nullptr;
HtmlHelpFunction HelpEntry = nullptr;

constexpr wchar_t kViewerKey[] = L"CLSID\\{adb880a6-d8ff-11cf-9377-00aa003b7a11}\\InprocServer32";

}  // namespace

bool HtmlHelpViewer::LoadHelpViewer() {
    if (HelpLibrary && HelpEntry) return true;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, kViewerKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;

    // One character less than the buffer: a value stored without its terminator still ends inside it.
    wchar_t path[256] = {};
    DWORD size = sizeof path - sizeof path[0];
    DWORD type = 0;
    if (RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<LPBYTE>(path), &size) != ERROR_SUCCESS) {
        RegCloseKey(key);
        return false;
    }
    path[size / sizeof path[0] < 256 ? size / sizeof path[0] : 255] = L'\0';
    wchar_t expanded[MAX_PATH] = {};
    const wchar_t* library = path;
    if (type == REG_EXPAND_SZ) {
        const DWORD n = ExpandEnvironmentStringsW(path, expanded, MAX_PATH);
        if (n > 0 && n <= MAX_PATH) library = expanded;
    }

    // A value naming a library that will not load: the control by its usual name.
    HelpLibrary = LoadLibraryW(library);
    if (!HelpLibrary) HelpLibrary = LoadLibraryW(L"hhctrl.ocx");
    if (!HelpLibrary) {
        RegCloseKey(key);
        return false;
    }
    HelpEntry = reinterpret_cast<HtmlHelpFunction>(reinterpret_cast<void*>(GetProcAddress(HelpLibrary, "HtmlHelpW")));
    if (!HelpEntry) {
        FreeLibrary(HelpLibrary);
        HelpLibrary = nullptr;
        RegCloseKey(key);
        return false;
    }
    RegCloseKey(key);
    return true;
}

bool HtmlHelpViewer::HelpLibraryLoaded() const {
    return HelpLibrary != nullptr;
}

void HtmlHelpViewer::UnloadHelpViewer() {
    if (HelpLibrary) FreeLibrary(HelpLibrary);
    HelpLibrary = nullptr;
    HelpEntry = nullptr;
}

void HtmlHelpViewer::Initialize(std::uint32_t& cookie) {
    static_assert(sizeof(DWORD) == sizeof(std::uint32_t));
    if (HelpEntry) HelpEntry(nullptr, nullptr, HH_INITIALIZE, reinterpret_cast<DWORD_PTR>(&cookie));
}

void HtmlHelpViewer::Uninitialize(std::uint32_t cookie) {
    if (HelpEntry) HelpEntry(nullptr, nullptr, HH_UNINITIALIZE, static_cast<DWORD_PTR>(cookie));
}

void HtmlHelpViewer::DisplayTopic(const std::filesystem::path& helpFile) {
    // The full path, so the viewer never has to look for the file; wide, so any folder name works.
    if (HelpEntry) HelpEntry(nullptr, helpFile.c_str(), HH_DISPLAY_TOPIC, 0);
}

void HtmlHelpViewer::CloseAll() {
    if (HelpEntry) HelpEntry(nullptr, nullptr, HH_CLOSE_ALL, 0);
}

}  // namespace qb
