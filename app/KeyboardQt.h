// Keyboard access and hints for the main window: Tab walks the settings row by row (left column
// first) and then the command buttons row by row; the size arrows take the focus and answer
// Up/Down, the colour swatch takes it and opens its dialog on Space or Enter, each with a focus
// mark; a slider's hint shows its value while the slider is dragged.
#pragma once

namespace vorn {

class TFOrlu;

// Installs all of the above on the window's controls; call once, after they exist.
void AddKeyboardAccess(TFOrlu& window);

} // namespace vorn
