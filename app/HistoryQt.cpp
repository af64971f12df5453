#include "app/HistoryQt.h"

#include <QAction>
#include <QClipboard>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <cstring>

#include "app/gen.h"
#include "app/widgets/FormKitQt.h"
#include "export/EmbeddedRecipe.h"
#include "gen/ArchiveChoice.h"
#include "gen/SeedText.h"

namespace vorn {

namespace {

// What is wrong with a pasted code, in a user's words: nothing to paste, a character no code
// holds, or the decoder's own line.
QString RecipeErrorText(const QString& code, const TRecipeDecoding& decoded) {
    if (code.isEmpty()) return QStringLiteral("The clipboard holds no recipe code.");
    if (decoded.badCharAt > 0) {
        // Every character before the bad one is printable ASCII, so the byte position is the
        // character position.
        const qsizetype at = qsizetype(decoded.badCharAt) - 1;
        const QChar c = code.at(at);
        const QString what = c == u' '                  ? QStringLiteral("a space")
                             : c == u'\t'               ? QStringLiteral("a tab")
                             : c == u'\n' || c == u'\r' ? QStringLiteral("a line break")
                             : c.unicode() < 0x80       ? QStringLiteral("a control character")
                                                        : QStringLiteral("the character \u201C%1\u201D")
                                                        .arg(code.mid(at, c.isHighSurrogate() ? 2 : 1));
        return QStringLiteral("This is not a recipe code: it has %1 at position %2.")
            .arg(what)
            .arg(decoded.badCharAt);
    }
    return QStringLiteral("The clipboard holds no recipe: %1!  ").arg(QString::fromStdString(decoded.error));
}

} // namespace

THistoryQt::THistoryQt(TFOrlu& window) : QObject(&window), m_window(window) {
    const auto addAction = [this](const QString& text, const QKeySequence& keys, auto run) {
        auto* action = new QAction(text, this);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut); // whichever control has the focus
        connect(action, &QAction::triggered, this, run);
        m_window.addAction(action);
        return action;
    };
    ActionBack = addAction(QStringLiteral("Back"), QKeySequence(Qt::ALT | Qt::Key_Left), [this] { Back(); });
    ActionForward =
        addAction(QStringLiteral("Forward"), QKeySequence(Qt::ALT | Qt::Key_Right), [this] { Forward(); });
    ActionCopyRecipe = addAction(QStringLiteral("Copy Recipe"),
                                 QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), [this] { CopyRecipe(); });
    ActionPasteRecipe = addAction(QStringLiteral("Paste Recipe"), QKeySequence(Qt::CTRL | Qt::Key_V),
                                  [this] { PasteRecipe(); });
    ActionOpenRecipe = addAction(QStringLiteral("Open Recipe from Image\u2026"),
                                 QKeySequence(Qt::CTRL | Qt::Key_O), [this] { OpenRecipe(); });

    TGenerator& gen = m_window.Generator();
    gen.OnTextureMade = [this, &gen](std::uint32_t seedBefore, bool clearedTile) {
        m_history.TextureMade(gen.Settings(), seedBefore, gen.TextureSize, gen.BackgroundColor, clearedTile,
                              gen.BrushSetHash);
    };
}

THistoryQt::~THistoryQt() = default;

void THistoryQt::Record() {
    if (!m_history.Unrecorded()) return;
    m_history.Add(m_window.Generator(), m_window.Controls());
    emit Changed();
}

bool THistoryQt::GoTo(std::size_t index) {
    if (m_window.Ready()) Record();
    const std::size_t position = m_history.Position();
    if (index >= m_history.Count() || index == position) return false;
    return Step(static_cast<int>(index) - static_cast<int>(position));
}

bool THistoryQt::Back() {
    return Step(-1);
}

bool THistoryQt::Forward() {
    return Step(1);
}

bool THistoryQt::Step(int step) {
    if (m_window.Ready()) Record(); // a Live texture not yet in the history is the one left
    const THistoryEntry* entry = m_history.At(step);
    if (!entry || !m_window.Ready()) return false;
    const TGenSettings controls = entry->controls;
    bool shown = false;
    m_window.MakeTexture([&] {
        shown = m_history.Step(m_window.Generator(), step);
        if (shown) m_window.SetControls(controls);
    });
    if (shown) emit Changed();
    return shown;
}

QString THistoryQt::RecipeText() const {
    TRecipe recipe = m_history.TileRecipe();
    // The output as it is now: at the size selected since.
    recipe.size = m_window.Generator().TextureSize;
    for (TRecipeLink& link : recipe.links) link.settings.size = recipe.size;
    return QString::fromStdString(EncodeRecipe(recipe));
}

QString THistoryQt::RecipeTextOrSay() {
    const QString code = RecipeText();
    if (code.isEmpty()) {
        ShowMessageBox(
            m_window.Messages(),
            QStringLiteral("This texture has no recipe: it was drawn over more than %1 textures!  ")
                .arg(MaxRecipeLinks),
            QStringLiteral("Alert!"), TMsgButtons::Ok, TMsgIcon::Warning, &m_window);
    }
    return code;
}

void THistoryQt::CopyRecipe() {
    if (!m_window.Ready()) return;
    const QString code = RecipeTextOrSay();
    if (!code.isEmpty()) QGuiApplication::clipboard()->setText(code);
}

void THistoryQt::PasteRecipe() {
    MakeRecipe(QGuiApplication::clipboard()->text());
}

bool THistoryQt::MakeRecipe(const QString& code) {
    if (!m_window.Ready()) return false;
    const QString trimmed = code.trimmed();
    const TRecipeDecoding decoded = DecodeRecipe(trimmed.toStdString());
    if (!decoded.ok()) {
        ShowMessageBox(m_window.Messages(), RecipeErrorText(trimmed, decoded), QStringLiteral("Error"),
                       TMsgButtons::Ok, TMsgIcon::Critical, &m_window);
        return false;
    }
    const TRecipe& recipe = decoded.recipe;
    // Another brush set makes another texture: the installed one the recipe names is taken.
    TGenerator& generator = m_window.Generator();
    if (recipe.brushes != generator.BrushSetHash) {
        const std::string installed =
            FindBrushSet(QCoreApplication::applicationDirPath().toStdString(), recipe.brushes);
        if (installed.empty() || !m_window.UseBrushes(QString::fromStdString(installed), true)) {
            ShowMessageBox(m_window.Messages(),
                           QStringLiteral("This recipe was made with brushes %1; this archive is %2.  ")
                               .arg(QString::fromStdString(SeedText(recipe.brushes)),
                                    QString::fromStdString(SeedText(generator.BrushSetHash))),
                           QStringLiteral("Error"), TMsgButtons::Ok, TMsgIcon::Critical, &m_window);
            return false;
        }
    }
    TGenSettings controls = recipe.links.back().settings;
    controls.size = recipe.size;
    controls.bgColor = static_cast<int>(RgbOfCanvasColor(recipe.background));
    // The random source is left where making the texture leaves it.
    m_window.MakeTexture([&] {
        m_window.SetControls(controls);
        RegenerateRecipe(m_window.Generator(), recipe);
    });
    Record();
    return true;
}

void THistoryQt::OpenRecipe() {
    if (!m_window.Ready()) return;
    QFileDialog dialog(&m_window, QStringLiteral("Open Recipe from Image"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({QStringLiteral("Images with a recipe (*.png *.jpg *.jpeg *.PNG *.JPG *.JPEG)"),
                           QStringLiteral("All files (*)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    OpenRecipeFile(dialog.selectedFiles().constFirst());
}

bool THistoryQt::OpenRecipeFile(const QString& fileName) {
    if (!m_window.Ready()) return false;
    const TFileRecipe read = ReadRecipeOfFile(QFile::encodeName(fileName).toStdString());
    if (read.error != 0 || !read.code) {
        const QString text =
            read.error != 0
                ? QStringLiteral("Cannot read %1: %2!  ")
                      .arg(fileName, QString::fromLocal8Bit(std::strerror(read.error)))
                : QStringLiteral(
                      "%1 holds no recipe. Export it with \u201CRecipe in PNG and JPEG files\u201D "
                      "set in the Settings to keep one.  ")
                      .arg(QFileInfo(fileName).fileName());
        ShowMessageBox(m_window.Messages(), text, QStringLiteral("Error"), TMsgButtons::Ok,
                       TMsgIcon::Critical, &m_window);
        return false;
    }
    return MakeRecipe(QString::fromStdString(*read.code));
}

} // namespace vorn
