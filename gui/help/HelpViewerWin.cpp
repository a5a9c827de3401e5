// The help viewer on Windows: Microsoft's HTML Help control, found through the registry and loaded at run time.
#include "gui/help/HelpViewer.h"

#include <windows.h>

namespace qb::help {

namespace {

// The HTML Help control's published commands.
constexpr UINT HH_DISPLAY_TOPIC = 0x0000;
constexpr UINT HH_CLOSE_ALL = 0x0012;
constexpr UINT HH_INITIALIZE = 0x001C;
constexpr UINT HH_UNINITIALIZE = 0x001D;

// The argument is pointer-sized: HH_INITIALIZE passes the cookie's address, which must not be cut to 32 bits.
using HtmlHelpFunction = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);

HMODULE HelpLibrary = nullptr;
HtmlHelpFunction HelpEntry = nullptr;

constexpr char kViewerKey[] = "CLSID\\{adb880a6-d8ff-11cf-9377-00aa003b7a11}\\InprocServer32";

}  // namespace

bool LoadHelpViewer() {
    if (HelpLibrary && HelpEntry) return true;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kViewerKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;

    // 255 bytes of room in a 256-byte buffer: a value stored without its terminator still ends inside the buffer.
    char path[256] = {};
    DWORD size = 255;
    DWORD type = 0;
    if (RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<LPBYTE>(path), &size) != ERROR_SUCCESS) {
        RegCloseKey(key);
        return false;
    }
    path[size < sizeof path ? size : sizeof path - 1] = '\0';
    char expanded[MAX_PATH] = {};
    const char* library = path;
    if (type == REG_EXPAND_SZ) {
        const DWORD n = ExpandEnvironmentStringsA(path, expanded, MAX_PATH);
        if (n > 0 && n <= MAX_PATH) library = expanded;
    }

    HelpLibrary = LoadLibraryA(library);
    if (!HelpLibrary) HelpLibrary = LoadLibraryA("hhctrl.ocx");
    if (!HelpLibrary) {
        RegCloseKey(key);
        return false;
    }
    HelpEntry = reinterpret_cast<HtmlHelpFunction>(reinterpret_cast<void*>(GetProcAddress(HelpLibrary, "HtmlHelpA")));
    if (!HelpEntry) {
        FreeLibrary(HelpLibrary);
        HelpLibrary = nullptr;
        RegCloseKey(key);
        return false;
    }
    RegCloseKey(key);
    return true;
}

bool HelpLibraryLoaded() {
    return HelpLibrary != nullptr;
}

void UnloadHelpViewer() {
    if (HelpLibrary) FreeLibrary(HelpLibrary);
    HelpLibrary = nullptr;
    HelpEntry = nullptr;
}

void Initialize(std::uint32_t& cookie) {
    static_assert(sizeof(DWORD) == sizeof(std::uint32_t));
    if (HelpEntry) HelpEntry(nullptr, nullptr, HH_INITIALIZE, reinterpret_cast<DWORD_PTR>(&cookie));
}

void Uninitialize(std::uint32_t cookie) {
    if (HelpEntry) HelpEntry(nullptr, nullptr, HH_UNINITIALIZE, static_cast<DWORD_PTR>(cookie));
}

void DisplayTopic(const QString& helpFile) {
    // The full path, so the viewer never has to look for the file.
    if (HelpEntry) HelpEntry(nullptr, helpFile.toLocal8Bit().constData(), HH_DISPLAY_TOPIC, 0);
}

void CloseAll() {
    if (HelpEntry) HelpEntry(nullptr, nullptr, HH_CLOSE_ALL, 0);
}

}  // namespace qb::help
