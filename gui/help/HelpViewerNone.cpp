// No help viewer on this platform (no CHMLib to read the help file): the Help button stays hidden.
#include "gui/help/HelpViewer.h"

namespace qb::help {

bool LoadHelpViewer() {
    return false;
}
bool HelpLibraryLoaded() {
    return false;
}
void UnloadHelpViewer() {}
void Initialize(std::uint32_t& cookie) {
    cookie = 0;
}
void Uninitialize(std::uint32_t) {}
void DisplayTopic(const QString&) {}
void CloseAll() {}

}  // namespace qb::help
