// The platform's help viewer, loaded at run time: the window only needs to know whether it is there, to set it up
// and release it around its own life, to show the help file and to close every help window.
#pragma once

#include <cstdint>
#include <filesystem>

namespace qb {

class HelpViewer {
public:
    virtual ~HelpViewer() = default;
    // Loads the viewer once for the process. True when it is ready to use.
    virtual bool LoadHelpViewer() = 0;
    // Whether the viewer is loaded now (between a successful LoadHelpViewer and UnloadHelpViewer).
    virtual bool HelpLibraryLoaded() const = 0;
    virtual void UnloadHelpViewer() = 0;
    // Around the life of the window that offers help. `cookie` is filled by Initialize and handed back.
    virtual void Initialize(std::uint32_t& cookie) = 0;
    virtual void Uninitialize(std::uint32_t cookie) = 0;
    // Shows the help file in a separate top-level window that no other window owns.
    virtual void DisplayTopic(const std::filesystem::path& helpFile) = 0;
    // Closes every help window of the program.
    virtual void CloseAll() = 0;
};

}  // namespace qb
