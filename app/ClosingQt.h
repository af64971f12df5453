// Whether the main window may close: a running favourites export is asked about first, then,
// when the session's history holds textures the user made (beyond the one drawn at start), one
// Yes/No question with a "Don't ask again" box, remembered in the settings store. The questions
// go through the window's message presenter.
#pragma once

namespace vorn {

class TFOrlu;

// True when the window may close now; false when the user chose to stay.
bool ConfirmClose(TFOrlu& window);

} // namespace vorn
