// The help viewer on Windows: Microsoft's HTML Help control, found through the registry and loaded at run time.
// No toolkit needed: the Win32 window uses it, and so can any other window on Windows.
#pragma once

#include "presenter/HelpViewer.h"

namespace qb {

class HtmlHelpViewer : public HelpViewer {
public:
    // The control stays loaded for the process (one per process, like the control's own state); only
    // UnloadHelpViewer releases it.
    bool LoadHelpViewer() override;
    bool HelpLibraryLoaded() const override;
    void UnloadHelpViewer() override;
    void Initialize(std::uint32_t& cookie) override;
    void Uninitialize(std::uint32_t cookie) override;
    void DisplayTopic(const std::filesystem::path& helpFile) override;
    void CloseAll() override;
};

}  // namespace qb
