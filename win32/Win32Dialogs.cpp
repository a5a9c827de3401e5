#include "win32/Win32Dialogs.h"

#include <commdlg.h>

#include <vector>

#include "config/Text.h"

namespace qb::win32 {

int SystemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

HFONT MakeFont(const wchar_t* face, int points, bool bold, int dpi) {
    return CreateFontW(-MulDiv(points, dpi, 72), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, face);
}

std::wstring Wide(const std::u16string& text) {
    return {text.begin(), text.end()};
}

std::u16string FromWide(const std::wstring& text) {
    return {text.begin(), text.end()};
}

std::wstring BoxText(const std::u16string& text) {
    std::wstring lines;
    for (char16_t c : NormaliseLineBreaks(text)) {
        if (c == u'\n')
            lines += L"\r\n";
        else
            lines += static_cast<wchar_t>(c);
    }
    return lines;
}

void Win32UserSink::showError(const std::u16string& text) {
    MessageBoxW(owner_, BoxText(text).c_str(), kBoxCaption, MB_OK | MB_ICONERROR);
}

void Win32UserSink::showInformation(const std::u16string& text) {
    MessageBoxW(owner_, BoxText(text).c_str(), kBoxCaption, MB_OK | MB_ICONINFORMATION);
}

Answer Win32UserSink::askYesNoCancel(const std::u16string& text) {
    switch (MessageBoxW(owner_, BoxText(text).c_str(), kBoxCaption, MB_YESNOCANCEL | MB_ICONQUESTION)) {
        case IDYES:
            return Answer::Yes;
        case IDNO:
            return Answer::No;
        default:
            return Answer::Cancel;
    }
}

std::optional<std::filesystem::path> Win32FileChooser::chooseFileToOpen() {
    return run(false);
}

std::optional<std::filesystem::path> Win32FileChooser::chooseFileToSave() {
    return run(true);
}

std::optional<std::filesystem::path> Win32FileChooser::run(bool save) {
    // Room for long paths; the filters are pairs of a name and a pattern, the list ends with an empty name.
    std::vector<wchar_t> name(32768, L'\0');
    static constexpr wchar_t kOpenFilters[] = L"Data files (*.dat)\0*.dat\0All files (*)\0*.*\0";
    static constexpr wchar_t kSaveFilters[] = L"Data Files (*.dat)\0*.dat\0All Files (*)\0*.*\0";
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner_;
    dialog.lpstrFilter = save ? kSaveFilters : kOpenFilters;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.lpstrDefExt = L"dat";
    dialog.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
    const BOOL chosen = save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    if (!chosen || name[0] == L'\0') return std::nullopt;
    return std::filesystem::path(std::wstring(name.data()));
}

}  // namespace qb::win32
