// The program entry after the application object exists: the windows in order (main window,
// batch dialogs, settings dialog, About box), the brush set remembered in the settings, then the
// main window shown and the event loop run. Every window reports through one message presenter.
#pragma once

#include "app/gen.h"
#include "app/widgets/FormKitQt.h"

namespace vorn {

class TFVornS;

// Returns the loop's exit status: 0 after a normal end, 1 after a start-up failure. The
// favourites are kept in the user's data folder.
int RunProgram(TArchiveLocator locateArchive = {}, TMessagePresenter& messages = MessageBoxPresenter());

// The brush archive the settings remember draws the first texture. One that is gone is
// forgotten with one message, and the default set stays.
void UseRememberedBrushes(TFOrlu& window, TFVornS& settings);

} // namespace vorn
