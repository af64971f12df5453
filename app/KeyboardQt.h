// Keyboard access and hints for the main window: Tab walks the settings row by row (left column
// first) and then the command buttons row by row; the size arrows take the focus and answer
// Up/Down, the colour swatch takes it and opens its dialog on Space or Enter, each with a focus
// mark; a slider's hint shows its value while the slider is dragged. Window commands take their
// keys from the one table of gen/Shortcuts.h.
#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>

class QAction;
class QObject;

namespace vorn {

class TFOrlu;

// Installs all of the above on the window's controls; call once, after they exist.
void AddKeyboardAccess(TFOrlu& window);
// The hints: what each command button does (with its key), each list and group (the parameter
// table's help line) and the swatch.
void AddHints(TFOrlu& window);

// The keys of a command of gen/Shortcuts.h; none when it has none.
QList<QKeySequence> ShortcutKeys(const char* command);
// A command owned by owner acting wherever the window's focus is, with the table's keys.
QAction* AddWindowCommand(TFOrlu& window, QObject* owner, const QString& text, const char* command);

} // namespace vorn
