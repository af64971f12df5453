// The main window's texture history and recipes: Alt+Left / Alt+Right step back and forth
// through the textures made in this session, Ctrl+Shift+C copies the current texture's recipe as
// text, Ctrl+V makes the texture of a recipe on the clipboard and Ctrl+O (or a file dropped on
// the window) that of the recipe an exported image carries. Each sets the controls, size and
// colour to the texture's. Steps and pastes are refused while a texture or a batch is made.
#pragma once

#include <QObject>
#include <QString>

#include "gen/History.h"

class QAction;
class QMimeData;

namespace vorn {

class TFOrlu;

// Where a recipe code came from, so that a refusal can say so.
enum class TRecipeSource { Clipboard, File, Favourite };

class THistoryQt : public QObject {
    Q_OBJECT

public:
    // Follows every texture window's generator makes from now on.
    explicit THistoryQt(TFOrlu& window);
    ~THistoryQt() override;

    QAction* ActionBack;
    QAction* ActionForward;
    QAction* ActionCopyRecipe;
    QAction* ActionPasteRecipe;
    QAction* ActionOpenRecipe;

    TTextureHistory& History() { return m_history; }

    // The texture in the targets joins the history, when one was made since the last time.
    void Record();
    // The history holds a texture made in this session beyond the one drawn at start.
    bool UserTexturesMade() const;
    // Alt+Left / Alt+Right; false when refused or there is no such texture.
    bool Back();
    bool Forward();
    // Draws the current entry's texture again, with its controls (after a stopped generation
    // drew over the tile); false when it cannot be drawn. Called while the panels wait.
    bool ShowCurrent();
    // Back and Forward are enabled only where there is somewhere to go and the window is ready.
    void SyncActions();
    // Shows entry index of the history (as Back and Forward do); false when refused or none.
    bool GoTo(std::size_t index);
    // The current texture's recipe at the current size; empty when it has none (a Keep chain
    // too long for a code).
    QString RecipeText() const;
    // RecipeText, or empty after a message saying why there is none.
    QString RecipeTextOrSay();
    // Ctrl+Shift+C: RecipeText on the clipboard; a message when there is none.
    void CopyRecipe();
    // Ctrl+V: the clipboard's text as a recipe.
    void PasteRecipe();
    // Sets the controls from code and makes its texture; a code that is no valid recipe is said
    // in one message box naming its source and changes nothing. False when refused or invalid.
    // sourceName names the file or the favourite. Of a favourites line ("CODE NAME...") the
    // code is taken; a refused text is quoted to 40 characters at most.
    bool MakeRecipe(const QString& code, TRecipeSource source = TRecipeSource::Clipboard,
                    const QString& sourceName = {});
    // Ctrl+O: asks for an image file and makes the texture of its recipe (OpenRecipeFile).
    void OpenRecipe();
    // Makes the texture of the recipe fileName carries; a file that cannot be read or holds no
    // recipe is said in one message box and changes nothing.
    bool OpenRecipeFile(const QString& fileName);
    // The first local file among items dropped on the window; empty when there is none.
    static QString DroppedFile(const QMimeData* data);

signals:
    // An entry was added or another one became the current one.
    void Changed();

private:
    bool Step(int step);

    TFOrlu& m_window;
    TTextureHistory m_history;
    std::uint64_t m_startEntry = 0; // the entry of the texture drawn at start; 0 before it
};

} // namespace vorn
