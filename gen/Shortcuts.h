// The window's commands with their keys, menu by menu in menu order, then the keys of the Tiled
// View and of the Material View: the menu bar, the Keyboard Shortcuts list, pallimor(1) and the
// list in docs/window.md follow this one table. Keys are written in Qt's portable form, alternatives
// separated by
// "; " (QKeySequence::listFromString reads them). No Qt.
#pragma once

#include <array>
#include <string_view>

namespace vorn {

struct TShortcut {
    const char* menu;        // "File", ...; "" for keys with no menu entry
    const char* command;     // the entry's text, without an ellipsis
    const char* keys;        // "Ctrl+S", "F5; Ctrl+G"; "" for none
    const char* help;        // one line for the manual
    const char* window = ""; // "Tiled View", ... for the keys of that window; "" for the main window's
};

inline constexpr const char* TiledViewWindow = "Tiled View";
inline constexpr const char* MaterialViewWindow = "Material View";

inline constexpr std::array<TShortcut, 48> Shortcuts = {{
    {"File", "Export", "Ctrl+S", "export the texture as a BMP, PNG or JPEG file"},
    {"File", "Batch Export", "Ctrl+B", "export a numbered batch of new textures"},
    {"File", "Open Recipe from Image", "Ctrl+O", "make the texture of the recipe an exported image carries"},
    {"File", "Quit", "Ctrl+Q", "close the window"},
    {"Edit", "Copy Image", "Ctrl+C", "copy the texture at the selected size"},
    {"Edit", "Copy Recipe", "Ctrl+Shift+C", "copy the texture's recipe code"},
    {"Edit", "Paste Recipe", "Ctrl+V", "make the texture of the recipe code on the clipboard"},
    {"Edit", "Settings", "Ctrl+,", "open the settings"},
    {"Texture", "Generate", "F5; Ctrl+G", "make a new texture"},
    {"Texture", "Randomize", "Ctrl+R", "give every unlocked parameter a random value and make a texture"},
    {"Texture", "Back", "Alt+Left", "the texture before in this session's history"},
    {"Texture", "Forward", "Alt+Right", "the texture after in this session's history"},
    {"Texture", "Add to Favourites", "Ctrl+D", "keep the texture's recipe among the favourites"},
    {"Texture", "Live", "Ctrl+L", "re-make the texture whenever a control changes"},
    {"Texture", "Mirror Tiling", "Ctrl+1", "the tile repeats mirrored: every stamp four times, symmetric"},
    {"Texture", "Wrap Tiling", "Ctrl+2", "the tile repeats across all edges without a seam or symmetry"},
    {"Texture", "Wrap X Tiling", "Ctrl+3", "the tile repeats across its left and right edges only"},
    {"Texture", "Wrap Y Tiling", "Ctrl+4", "the tile repeats across its top and bottom edges only"},
    {"Texture", "Palette", "", "the strokes' colours: the walk's own, or a shipped palette"},
    {"Texture", "Next Palette", "Ctrl+]",
     "the next shipped palette (after the last one: the walk's colours)"},
    {"Texture", "Previous Palette", "Ctrl+[",
     "the shipped palette before (before the first: the walk's colours)"},
    {"Texture", "Palette from Image", "Ctrl+I", "the colours of a PNG or JPEG image, 2 to 16 of them"},
    {"Texture", "Type Palette", "Ctrl+Shift+P", "2 to 16 colours of your own, typed RRGGBB,RRGGBB,..."},
    {"Material", "Layers", "Ctrl+Shift+L", "open the list of the texture's layers"},
    {"Material", "Clear Layers", "Ctrl+Shift+Del", "the texture without layers: the tile alone"},
    {"View", "Tiled View", "Ctrl+T", "show the texture repeated in a window of its own"},
    {"View", "Material View", "Ctrl+M", "show the texture lit as a surface, the light following the pointer"},
    {"View", "Preview Pane", "Ctrl+P", "show or hide the 3 x 3 pane on the preview"},
    {"View", "Half-Tile Offset", "O", "show the Tiled View with its copies moved by half a tile, and back"},
    {"View", "Library", "Ctrl+H", "the history and the favourites as thumbnails"},
    {"Help", "Keyboard Shortcuts", "F1", "list these keys"},
    {"Help", "About", "", "the program's version and licence"},
    {"", "Preview menu", "Menu; Shift+F10", "open the preview's context menu"},
    {"", "Lock a parameter", "Ctrl+Click", "on a caption: Randomize leaves the parameter alone"},
    {"", "Open a menu", "Alt", "with the menu's underlined letter"},
    {"", "Stop or close", "Esc",
     "stops a new texture being drawn or asks a running batch to stop; otherwise closes the window, asking "
     "first when this session's history would be lost"},
    {"", "Reset a slider", "Double-click", "on its caption (a single click for Hue Switch)"},
    {"", "Zoom in", "+; =", "the texture larger, about the window's centre", TiledViewWindow},
    {"", "Zoom out", "-", "the texture smaller, until at least 3 x 3 copies fit", TiledViewWindow},
    {"", "Actual size", "0", "one texel on each pixel", TiledViewWindow},
    {"", "Fit 3 x 3", "Ctrl+0", "zoom so that 3 x 3 copies fit the window", TiledViewWindow},
    {"", "Normal map", "N", "show the texture's normal map instead of its colour, and back", TiledViewWindow},
    {"", "Half-tile offset", "O", "move the copies by half a tile: the tile's edges to its middle, and back",
     TiledViewWindow},
    {"", "Close the Tiled View", "Esc", "close the Tiled View only", TiledViewWindow},
    {"", "Zoom about the pointer", "Wheel", "zoom in or out about the point under the pointer",
     TiledViewWindow},
    {"", "Pan", "Drag", "move the copies with the left button held", TiledViewWindow},
    {"", "Move the light", "Pointer", "the light stands over the point under the pointer",
     MaterialViewWindow},
    {"", "Close the Material View", "Esc", "close the Material View only", MaterialViewWindow},
}};

// The row of command; nullptr when none.
constexpr const TShortcut* FindShortcut(std::string_view command) {
    for (const TShortcut& shortcut : Shortcuts)
        if (command == shortcut.command) return &shortcut;
    return nullptr;
}

} // namespace vorn
