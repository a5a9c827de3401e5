// The platform's help viewer, loaded at run time: the window only needs to know whether it is there, to set it
// up and release it around its own life, to show the help file and to close every help window.
//
// Two implementations, away from Windows (which has its own, win32/HtmlHelpViewer): HelpViewerChm.cpp (our own
// window reading the help file with CHMLib), HelpViewerNone.cpp (no viewer: the Help button is hidden).
#pragma once

#include <cstdint>

#include <QString>

namespace qb::help {

// Loads the viewer once for the process. True when it is ready to use.
bool LoadHelpViewer();
// Whether the viewer is loaded now (between a successful LoadHelpViewer and UnloadHelpViewer).
bool HelpLibraryLoaded();
void UnloadHelpViewer();

// Around the life of the window that offers help. `cookie` is filled by Initialize and handed back.
void Initialize(std::uint32_t& cookie);
void Uninitialize(std::uint32_t cookie);

// Shows the help file in a separate top-level window that no other window owns.
void DisplayTopic(const QString& helpFile);
// Closes every help window of the program.
void CloseAll();

}  // namespace qb::help
