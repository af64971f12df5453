#include "app/HistoryQt.h"

#include <QAction>
#include <QClipboard>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QRegularExpression>
#include <QUrl>

#include "app/dialogs/settings.h"
#include "app/gen.h"
#include "app/widgets/FormKitQt.h"
#include "export/EmbeddedRecipe.h"
#include "gen/ArchiveChoice.h"

namespace vorn {

namespace {

// A reason from the core as the start of a message.
QString Capitalized(QString text) {
    if (!text.isEmpty()) text[0] = text[0].toUpper();
    return text;
}

// Where a code came from, as the start of a sentence: "The clipboard", "texture.png", "The
// favourite Bricks".
QString SourceText(TRecipeSource source, const QString& name) {
    switch (source) {
    case TRecipeSource::File:
        return name.isEmpty() ? QStringLiteral("The file") : name;
    case TRecipeSource::Favourite:
        return name.isEmpty() ? QStringLiteral("The favourite")
                              : QStringLiteral("The favourite %1").arg(name);
    case TRecipeSource::Clipboard:
        break;
    }
    return QStringLiteral("The clipboard");
}

// A refused text as a message quotes it: one line, at most 40 characters.
QString Quoted(const QString& text) {
    return QStringLiteral("\u201C%1\u201D").arg(QuotedExcerpt(text.simplified()));
}

// The decoder's line with every 'quoted' part of the code cut to a short excerpt.
QString ShortenQuotes(const QString& line) {
    QString shortened;
    qsizetype from = 0; // the rest of line not yet copied, from a closing quote on
    qsizetype open = line.indexOf(QLatin1Char('\''));
    while (open >= 0) {
        const qsizetype close = line.indexOf(QLatin1Char('\''), open + 1);
        if (close < 0) break;
        shortened += line.mid(from, open + 1 - from) + QuotedExcerpt(line.mid(open + 1, close - open - 1));
        from = close;
        open = line.indexOf(QLatin1Char('\''), close + 1);
    }
    return shortened + line.mid(from);
}

// What is wrong with a code, in a user's words, naming where it came from: nothing there, a
// character no code holds, or the decoder's own line.
QString RecipeErrorText(const QString& code, const TRecipeDecoding& decoded, const QString& source) {
    if (code.isEmpty()) return QStringLiteral("%1 holds no recipe code.").arg(source);
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
        return QStringLiteral("%1 holds no recipe code: %2 has %3 at position %4.")
            .arg(source, Quoted(code), what)
            .arg(decoded.badCharAt);
    }
    return QStringLiteral("%1 holds no recipe: %2!  ")
        .arg(source, ShortenQuotes(QString::fromStdString(decoded.error)));
}

// A favourites line ("CODE NAME...") holds its code as the first word; any other text is taken
// whole.
QString CodeOfText(const QString& text) {
    const QString trimmed = text.trimmed();
    const qsizetype space = trimmed.indexOf(QRegularExpression(QStringLiteral("\\s")));
    if (space <= 0 || DecodeRecipe(trimmed.toStdString()).ok()) return trimmed;
    const QString first = trimmed.left(space);
    return DecodeRecipe(first.toStdString()).ok() ? first : trimmed;
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

    connect(this, &THistoryQt::Changed, this, [this] { SyncActions(); });

    TGenerator& gen = m_window.Generator();
    gen.OnTextureMade = [this, &gen](std::uint32_t seedBefore, bool clearedTile) {
        m_history.TextureMade(gen.TextureSettings(), seedBefore, gen.TextureSize, gen.BackgroundColor, clearedTile,
                              gen.BrushSetHash);
    };
}

THistoryQt::~THistoryQt() = default;

void THistoryQt::Record() {
    if (!m_history.Unrecorded()) return;
    m_history.Add(m_window.Generator(), m_window.Controls());
    if (m_startEntry == 0) m_startEntry = m_history.Current()->id;
    emit Changed();
}

bool THistoryQt::UserTexturesMade() const {
    for (std::size_t i = 0; i < m_history.Count(); ++i)
        if (m_history.At(int(i) - int(m_history.Position()))->id != m_startEntry) return true;
    return false;
}

bool THistoryQt::GoTo(std::size_t index) {
    if (m_window.Ready()) Record();
    const std::size_t position = m_history.Position();
    if (index >= m_history.Count() || index == position) return false;
    return Step(static_cast<int>(index) - static_cast<int>(position));
}

bool THistoryQt::ShowCurrent() {
    const THistoryEntry* entry = m_history.Current();
    if (!entry) return false;
    const TGenSettings controls = entry->controls;
    if (!m_history.Step(m_window.Generator(), 0)) return false;
    m_window.SetControls(controls);
    emit Changed();
    return true;
}

void THistoryQt::SyncActions() {
    // A Live texture not yet recorded joins the history first, so Back reaches the current entry.
    const bool ready = m_window.Ready();
    const bool unrecorded = m_history.Unrecorded() && m_history.Current();
    ActionBack->setEnabled(ready && (m_history.At(-1) || unrecorded));
    ActionForward->setEnabled(ready && m_history.At(1) && !unrecorded);
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
            m_history.TileRecipe().mixedBrushes
                ? QStringLiteral("This texture has no recipe: it was drawn with two brush sets over one "
                                 "another, and a recipe names one!  ")
                : QStringLiteral("This texture has no recipe: it was drawn over more than %1 textures!  ")
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

bool THistoryQt::MakeRecipe(const QString& text, TRecipeSource source, const QString& sourceName) {
    if (!m_window.Ready()) return false;
    const QString code = CodeOfText(text);
    const TRecipeDecoding decoded = DecodeRecipe(code.toStdString());
    if (!decoded.ok()) {
        ShowMessageBox(m_window.Messages(), RecipeErrorText(code, decoded, SourceText(source, sourceName)),
                       QStringLiteral("Error"), TMsgButtons::Ok, TMsgIcon::Critical, &m_window);
        return false;
    }
    const TRecipe& recipe = decoded.recipe;
    // Another brush set makes another texture: the installed one the recipe names is taken.
    TGenerator& generator = m_window.Generator();
    if (recipe.brushes != generator.BrushSetHash) {
        const std::string exeDir = QCoreApplication::applicationDirPath().toStdString();
        const std::string installed = FindBrushSet(exeDir, recipe.brushes);
        if (installed.empty() || !m_window.UseBrushes(QString::fromStdString(installed), true)) {
            ShowMessageBox(m_window.Messages(),
                           QStringLiteral("This recipe was %1.  ")
                               .arg(QString::fromStdString(BrushSetMissingText(exeDir, recipe.brushes))),
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
                ? Capitalized(QString::fromStdString(read.reason)) + QStringLiteral("!  ")
                : QStringLiteral(
                      "%1 holds no recipe. Export it with \u201C%2\u201D set in the Settings to keep one.  ")
                      .arg(QFileInfo(fileName).fileName(), QString::fromLatin1(EmbedRecipeCaption));
        ShowMessageBox(m_window.Messages(), text, QStringLiteral("Error"), TMsgButtons::Ok,
                       TMsgIcon::Critical, &m_window);
        return false;
    }
    return MakeRecipe(QString::fromStdString(*read.code), TRecipeSource::File,
                      QFileInfo(fileName).fileName());
}

QString THistoryQt::DroppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls()) return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) return url.toLocalFile();
    return {};
}

} // namespace vorn
