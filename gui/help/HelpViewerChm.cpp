// The help viewer away from Windows: our own help window, which reads the compiled help file with CHMLib.
#include "gui/help/HelpViewer.h"

#include <QPointer>

#include "gui/help/ChmFile.h"
#include "gui/help/HelpWindow.h"

namespace qb::help {

namespace {

bool ViewerLoaded = false;
QPointer<HelpWindow> OpenWindow;
QString OpenFile;

}  // namespace

bool LoadHelpViewer() {
    ViewerLoaded = true;
    return true;
}

bool HelpLibraryLoaded() {
    return ViewerLoaded;
}

void UnloadHelpViewer() {
    ViewerLoaded = false;
}

void Initialize(std::uint32_t& cookie) {
    cookie = 0;
}

void Uninitialize(std::uint32_t) {}

void DisplayTopic(const QString& helpFile) {
    if (!ViewerLoaded) return;
    if (OpenWindow && OpenFile != helpFile) delete OpenWindow.data();
    if (!OpenWindow) {
        auto file = ChmFile::open(helpFile);
        if (!file) return;  // like the platform viewer: a display request that fails says nothing
        OpenWindow = new HelpWindow(std::move(file));
        OpenFile = helpFile;
    }
    OpenWindow->show();
    OpenWindow->raise();
    OpenWindow->activateWindow();
}

void CloseAll() {
    // Deleted at once: the program may be on its way out of the event loop.
    if (OpenWindow) delete OpenWindow.data();
}

}  // namespace qb::help
