#include "app/LibraryQt.h"

#include <QAction>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>

#include "app/CliJobQt.h"
#include "app/HistoryQt.h"
#include "app/KeyboardQt.h"
#include "app/dialogs/settings.h"
#include "app/gen.h"
#include "app/widgets/FormKitQt.h"
#include "archive/VornDb.h"
#include "export/ExportFormats.h"
#include "gen/ArchiveChoice.h"
#include "gen/TextureOptions.h"
#include "gen/Recipe.h"
#include "gen/SeedText.h"

namespace vorn {

namespace {

constexpr int ThumbnailSize = 96;
constexpr int ThumbnailDrawSize = 128; // drawn at, then scaled to ThumbnailSize

QListWidget* ThumbnailList(QWidget* parent) {
    auto* list = new QListWidget(parent);
    list->setViewMode(QListView::IconMode);
    list->setIconSize(QSize(ThumbnailSize, ThumbnailSize));
    list->setResizeMode(QListView::Adjust);
    list->setMovement(QListView::Static);
    list->setWrapping(false);
    list->setFlow(QListView::LeftToRight);
    list->setUniformItemSizes(true);
    list->setSpacing(4);
    return list;
}

// The lines as a --recipes file.
QByteArray RecipesFile(const QStringList& lines) {
    QByteArray text;
    for (const QString& line : lines) text += line.toUtf8() + '\n';
    return text;
}

// A grey square with a red cross: a recipe the tool could not draw.
QIcon FailedThumbnail() {
    QPixmap pixmap(ThumbnailSize, ThumbnailSize);
    pixmap.fill(Qt::lightGray);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(160, 0, 0), 4));
    constexpr int margin = ThumbnailSize / 4;
    painter.drawLine(margin, margin, ThumbnailSize - margin, ThumbnailSize - margin);
    painter.drawLine(margin, ThumbnailSize - margin, ThumbnailSize - margin, margin);
    return QIcon(pixmap);
}

// What could make two favourites' files one: {name} keeps letters, digits and a few marks and
// stands for the seed when there is no name, so names that differ only in other characters or in
// case are taken as the same.
QString NameKey(const TFavourite& favourite) {
    QString name = QString::fromStdString(favourite.name);
    if (name.isEmpty()) {
        const TRecipeDecoding decoded = DecodeRecipe(favourite.code);
        if (decoded.ok() && !decoded.recipe.links.empty())
            name = QString::fromStdString(SeedText(decoded.recipe.links.back().seed));
    }
    QString key;
    for (const QChar c : name)
        if (c.isLetterOrNumber() && c.unicode() < 128) key += c.toLower();
    return key.left(100);
}

// The question before existing files are replaced, naming how many and the first few.
QString ReplaceQuestion(const QStringList& existing, const QString& folder) {
    if (existing.size() == 1)
        return QStringLiteral("%1 exists already in %2. Replace it?  ")
            .arg(QFileInfo(existing.first()).fileName(), folder);
    QStringList first;
    for (const QString& file : existing.mid(0, 3)) first += QFileInfo(file).fileName();
    return QStringLiteral("%1 files of this export exist already in %2: %3%4. Replace them?  ")
        .arg(existing.size())
        .arg(folder, first.join(QStringLiteral(", ")),
             existing.size() > 3 ? QStringLiteral(", \u2026") : QString());
}

// The code of the same texture at 128 pixels: a thumbnail needs no 4096 texture, which would take
// seconds to draw and save. The size does not change the tile.
QString ThumbnailCode(const QString& code) {
    TRecipeDecoding decoded = DecodeRecipe(code.toStdString());
    if (!decoded.ok()) return code;
    decoded.recipe.size = ThumbnailDrawSize;
    for (TRecipeLink& link : decoded.recipe.links) link.settings.size = ThumbnailDrawSize;
    const std::string small = EncodeRecipe(decoded.recipe);
    return small.empty() ? code : QString::fromStdString(small);
}

} // namespace

TLibraryQt::TLibraryQt(TFOrlu& window)
    : QWidget(&window, Qt::Window), m_window(window), m_favourites({}),
      m_cliPath(QCoreApplication::applicationDirPath() + QStringLiteral("/pallimor-cli")),
      m_thumbnailJob(new TCliJobQt(this)), m_exportJob(new TCliJobQt(this)) {
    setWindowTitle(QStringLiteral("Library"));
    setFont(window.font());
    resize(600, 420);

    ActionAddFavourite =
        AddWindowCommand(window, this, QStringLiteral("Add to Favourites\u2026"), "Add to Favourites");
    connect(ActionAddFavourite, &QAction::triggered, this, [this] { AddFavourite(); });
    ActionLibrary = AddWindowCommand(window, this, QStringLiteral("Library"), "Library");
    connect(ActionLibrary, &QAction::triggered, this, [this] { ShowLibrary(); });
    addActions({ActionAddFavourite, ActionLibrary});

    auto* layout = new QVBoxLayout(this);
    LabelStatus = new QLabel(this);
    LabelStatus->setWordWrap(true);
    LabelStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LabelStatus->hide();
    layout->addWidget(LabelStatus);
    layout->addWidget(new QLabel(QStringLiteral("History"), this));
    ListHistory = ThumbnailList(this);
    layout->addWidget(ListHistory);
    layout->addWidget(new QLabel(QStringLiteral("Favourites"), this));
    ListFavourites = ThumbnailList(this);
    ListFavourites->setSelectionMode(QAbstractItemView::ExtendedSelection);
    layout->addWidget(ListFavourites);
    auto* buttons = new QHBoxLayout;
    const auto addButton = [&](const QString& caption, const QString& hint) {
        auto* button = new QPushButton(caption, this);
        button->setToolTip(hint);
        buttons->addWidget(button);
        return button;
    };
    ButtonOpen = addButton(QStringLiteral("Open"), QStringLiteral("Make the selected favourite's texture"));
    ButtonRename = addButton(QStringLiteral("Rename"), QStringLiteral("Give the selected favourite a name"));
    ButtonRemove = addButton(QStringLiteral("Remove"), QStringLiteral("Forget the selected favourites"));
    ButtonCopyRecipe =
        addButton(QStringLiteral("Copy Recipe"), QStringLiteral("Copy the selected favourite's recipe code"));
    ButtonExport = addButton(QStringLiteral("Export\u2026"),
                             QStringLiteral("Export the selected favourites as files named after them"));
    layout->addLayout(buttons);

    const auto first = [this] {
        const QList<int> selected = SelectedFavourites();
        return selected.isEmpty() ? -1 : selected.first();
    };
    connect(ButtonOpen, &QPushButton::clicked, this, [this, first] { OpenFavourite(first()); });
    connect(ListFavourites, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { OpenFavourite(ListFavourites->row(item)); });
    connect(ButtonRename, &QPushButton::clicked, this, [this, first] {
        const int index = first();
        if (index < 0) return;
        bool ok = false;
        const QString name =
            QInputDialog::getText(this, QStringLiteral("Rename"), QStringLiteral("Name:"), QLineEdit::Normal,
                                  QString::fromStdString(m_favourites.Items()[std::size_t(index)].name), &ok);
        if (ok) RenameFavourite(index, name);
    });
    connect(ButtonRemove, &QPushButton::clicked, this, [this] { RemoveFavourites(SelectedFavourites()); });
    connect(ButtonCopyRecipe, &QPushButton::clicked, this, [this, first] { CopyFavourite(first()); });
    connect(ButtonExport, &QPushButton::clicked, this, [this] {
        const QList<int> selected = SelectedFavourites();
        if (selected.isEmpty()) return;
        if (ExportRunning()) {
            ShowMessageBox(
                m_window.Messages(),
                QStringLiteral("An export of favourites is still running; wait until it is done.  "),
                QStringLiteral("Alert!"), TMsgButtons::Ok, TMsgIcon::None, this);
            return;
        }
        const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Export Favourites"));
        if (!folder.isEmpty())
            ExportFavourites(selected, folder,
                             QString::fromLatin1(ExportFileTypes[DefaultExportType].extension));
    });
    connect(ListHistory, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { m_window.History->GoTo(std::size_t(ListHistory->row(item))); });
    connect(m_window.History, &THistoryQt::Changed, this, [this] {
        if (isVisible()) ShowLists();
    });
    connect(m_thumbnailJob, &TCliJobQt::Done, this, &TLibraryQt::ThumbnailsDone);
    connect(m_exportJob, &TCliJobQt::Done, this, &TLibraryQt::ExportDone);
}

TLibraryQt::~TLibraryQt() {
    // Thumbnails end with the window. An export the user was not asked about gets a moment to
    // finish; one stopped part way leaves only whole files (the tool saves each one safely).
    m_thumbnailJob->Stop();
    m_exportJob->WaitForEnd(3000);
    m_exportJob->Stop();
}

void TLibraryQt::SetCliPath(const QString& path) {
    m_cliPath = path;
    m_cliProblem.clear();
    m_cliSaid = false;
    ShowStatus();
}

void TLibraryQt::SetDataFolder(const QString& folder) {
    m_favourites = TFavourites(QFile::encodeName(folder).toStdString());
    ReadFavourites(true);
    if (isVisible()) ShowLists();
}

void TLibraryQt::ReadFavourites(bool sayReadFailure) {
    std::string why;
    const bool read = m_favourites.Load(why);
    SayNotRecipes();
    // An unreadable file is said by the status line; at start a message tells it once too.
    if (!read && (sayReadFailure || !m_favourites.ReadOnly())) SaveFailed(why);
    ShowStatus();
}

void TLibraryQt::SayNotRecipes() {
    const std::vector<TFavouriteLine>& bad = m_favourites.NotRecipes();
    if (bad.empty()) return;
    QStringList lines;
    for (const TFavouriteLine& line : bad)
        lines += QStringLiteral("line %1: %2").arg(line.number).arg(QString::fromStdString(line.text));
    ShowMessageBox(m_window.Messages(),
                   QStringLiteral("Some lines of %1 are not recipes; they were moved to %2 and the other "
                                  "favourites loaded:\n%3")
                       .arg(QString::fromStdString(m_favourites.FilePath()),
                            QString::fromStdString(m_favourites.AsidePath()), lines.join(QLatin1Char('\n'))),
                   QStringLiteral("Alert!"), TMsgButtons::Ok, TMsgIcon::Warning, &m_window);
}

void TLibraryQt::ShowStatus() {
    QStringList lines;
    if (m_favourites.ReadOnly())
        lines +=
            QStringLiteral("The favourites file %1 cannot be read (%2); changes are not saved until it can.")
                .arg(QString::fromStdString(m_favourites.FilePath()),
                     QString::fromStdString(m_favourites.ReadProblem()));
    if (!m_cliProblem.isEmpty()) lines += CliProblemText();
    LabelStatus->setText(lines.join(QLatin1Char('\n')));
    LabelStatus->setVisible(!lines.isEmpty());
}

QString TLibraryQt::CliProblemText() const {
    return QStringLiteral("Thumbnails and export need pallimor-cli, which could not be started from %1 (%2).")
        .arg(QDir::toNativeSeparators(m_cliPath), m_cliProblem);
}

void TLibraryQt::CliCannotStart(const TCliJobReport& report, bool say) {
    m_cliProblem = report.startProblem.isEmpty() ? QStringLiteral("unknown reason") : report.startProblem;
    ShowStatus();
    if (m_cliSaid && !say) return;
    m_cliSaid = true;
    ShowMessageBox(m_window.Messages(), CliProblemText() + QStringLiteral("  "), QStringLiteral("Error"),
                   TMsgButtons::Ok, TMsgIcon::Critical,
                   isVisible() ? static_cast<QWidget*>(this) : &m_window);
}

void TLibraryQt::SaveFailed(const std::string& why) {
    if (why.empty()) return;
    ShowMessageBox(m_window.Messages(), QString::fromStdString(why) + QStringLiteral("  "),
                   QStringLiteral("Error"), TMsgButtons::Ok, TMsgIcon::Critical, &m_window);
}

bool TLibraryQt::AddFavourite() {
    if (!m_window.Ready()) return false;
    bool ok = false;
    const QString name =
        QInputDialog::getText(&m_window, QStringLiteral("Add to Favourites"),
                              QStringLiteral("Name (optional):"), QLineEdit::Normal, {}, &ok);
    return ok && AddFavouriteNamed(name);
}

bool TLibraryQt::AddFavouriteNamed(const QString& name) {
    if (!m_window.Ready()) return false;
    m_window.History->Record(); // a Live texture too
    const QString code = m_window.History->RecipeTextOrSay();
    if (code.isEmpty()) return false;
    std::string why;
    const bool added = m_favourites.Add({code.toStdString(), name.toStdString()}, why);
    if (!added) SaveFailed(why);
    SayNotRecipes();
    ShowStatus();
    if (isVisible()) ShowLists();
    return added;
}

void TLibraryQt::ShowLibrary() {
    Refresh();
    show();
    raise();
    activateWindow();
}

bool TLibraryQt::OpenFavourite(int index) {
    if (index < 0 || std::size_t(index) >= m_favourites.Items().size()) return false;
    const TFavourite& favourite = m_favourites.Items()[std::size_t(index)];
    return m_window.History->MakeRecipe(QString::fromStdString(favourite.code), TRecipeSource::Favourite,
                                        QString::fromStdString(favourite.name));
}

bool TLibraryQt::RenameFavourite(int index, const QString& name) {
    if (index < 0 || std::size_t(index) >= m_favourites.Items().size()) return false;
    std::string why;
    if (!m_favourites.Rename(std::size_t(index), name.toStdString(), why)) SaveFailed(why);
    SayNotRecipes();
    ShowStatus();
    ShowLists();
    return true;
}

bool TLibraryQt::RemoveFavourite(int index) {
    return RemoveFavourites({index});
}

bool TLibraryQt::RemoveFavourites(const QList<int>& indexes) {
    std::vector<std::size_t> known;
    for (const int index : indexes)
        if (index >= 0 && std::size_t(index) < m_favourites.Items().size())
            known.push_back(std::size_t(index));
    if (known.empty()) return false;
    std::string why;
    if (!m_favourites.Remove(known, why)) SaveFailed(why);
    SayNotRecipes();
    ShowStatus();
    ShowLists();
    return true;
}

void TLibraryQt::CopyFavourite(int index) {
    if (index < 0 || std::size_t(index) >= m_favourites.Items().size()) return;
    QGuiApplication::clipboard()->setText(
        QString::fromStdString(m_favourites.Items()[std::size_t(index)].code));
}

QStringList TLibraryQt::BrushesArguments() const {
    const TGenerator& generator = m_window.Generator();
    if (!generator.Archive || generator.Archive->FileName().empty()) return {};
    // The tool finds the shipped set and the installed ones itself, each recipe its own; an
    // archive from elsewhere it is given (and then draws only the recipes made with it).
    const std::string toolFolder = QFile::encodeName(QFileInfo(m_cliPath).absolutePath()).toStdString();
    if (generator.BrushSetHash == ShippedBrushSetHash ||
        !FindBrushSet(toolFolder, generator.BrushSetHash).empty())
        return {};
    const QString path = QFile::decodeName(generator.Archive->FileName().c_str());
    return {QStringLiteral("--brushes"), QFileInfo(path).absoluteFilePath()};
}

bool TLibraryQt::ExportFavourites(const QList<int>& indexes, const QString& folder, const QString& fileType) {
    if (m_exportJob->Running()) return false;
    QStringList lines;
    m_exportNames.clear();
    QSet<QString> keys;
    bool distinct = true;
    for (const int index : indexes) {
        if (index < 0 || std::size_t(index) >= m_favourites.Items().size()) continue;
        const TFavourite& favourite = m_favourites.Items()[std::size_t(index)];
        lines += QString::fromStdString(FavouriteLineText(favourite));
        m_exportNames +=
            favourite.name.empty() ? QStringLiteral("(no name)") : QString::fromStdString(favourite.name);
        const QString key = NameKey(favourite);
        distinct = distinct && !keys.contains(key);
        keys.insert(key);
    }
    if (lines.isEmpty()) return false;
    m_exportLines = RecipesFile(lines);
    m_exportFolder = folder;
    m_exportType = fileType;
    // Named after the favourites; numbered too where two names could give one file.
    m_exportName = distinct ? QStringLiteral("{name}") : QStringLiteral("{name}-{n}");
    StartExport(false);
    return true;
}

void TLibraryQt::StartExport(bool force) {
    m_exportForced = force;
    QStringList arguments{QStringLiteral("generate"),
                          QStringLiteral("--recipes"),
                          QStringLiteral("-"),
                          QStringLiteral("--folder"),
                          m_exportFolder,
                          QStringLiteral("--name"),
                          m_exportName,
                          QStringLiteral("--type"),
                          m_exportType,
                          QStringLiteral("--json")};
    // The tool takes a quality for JPEG files only.
    const TExportFileType* type = ExportFileTypeOf(m_exportType.toStdString());
    if (type && type->format == TExportFormat::Jpeg)
        arguments += {QStringLiteral("--quality"), QString::number(m_window.JpegQuality())};
    if (force) arguments += QStringLiteral("--force");
    arguments += BrushesArguments();
    if (m_window.FVornS) {
        if (m_window.FVornS->EmbedRecipe) arguments += QStringLiteral("--embed-recipe");
        // Every map and setting File > Export writes with, so the files are the same.
        for (const std::string& argument : MapArguments(m_window.FVornS->MapOptions()))
            arguments += QString::fromStdString(argument);
    }
    m_exportJob->SetProgram(m_cliPath);
    m_exportJob->Start(arguments, m_exportLines);
}

void TLibraryQt::ExportDone(const TCliJobReport& report) {
    QWidget* owner = isVisible() ? static_cast<QWidget*>(this) : &m_window;
    if (!report.started) {
        CliCannotStart(report, true);
        return;
    }
    const TCliGenerateResult result = ParseGenerateJson(report.output);
    if (result.valid && !result.existing.isEmpty() && !m_exportForced) {
        // Nothing was written; the run again with --force replaces them.
        if (ShowMessageBox(m_window.Messages(), ReplaceQuestion(result.existing, m_exportFolder),
                           QStringLiteral("Alert!"), TMsgButtons::YesNo, TMsgIcon::None,
                           owner) == TMsgResult::Yes)
            StartExport(true);
        return;
    }
    if (report.exitCode == 0) {
        ShowMessageBox(m_window.Messages(),
                       QStringLiteral("The favourites were exported to %1.").arg(m_exportFolder),
                       QStringLiteral("Done!"), TMsgButtons::Ok, TMsgIcon::Information, owner);
        return;
    }
    QStringList failed;
    for (const TCliTexture& texture : result.textures)
        if (!texture.error.isEmpty())
            failed += QStringLiteral("%1: %2").arg(m_exportNames.value(texture.index), texture.error);
    QString text;
    if (result.valid && !result.textures.isEmpty() && !failed.isEmpty())
        text = QStringLiteral("%1 of %2 favourites were exported to %3; these could not be drawn:\n%4  ")
                   .arg(result.textures.size() - failed.size())
                   .arg(result.textures.size())
                   .arg(m_exportFolder, failed.join(QLatin1Char('\n')));
    else
        text = QStringLiteral("Exporting the favourites failed: %1  ")
                   .arg(report.errorOutput.isEmpty()
                            ? QStringLiteral("pallimor-cli ended with exit code %1").arg(report.exitCode)
                            : report.errorOutput);
    ShowMessageBox(m_window.Messages(), text, QStringLiteral("Error"), TMsgButtons::Ok, TMsgIcon::Critical,
                   owner);
}

bool TLibraryQt::ExportRunning() const {
    return m_exportJob->Running();
}

bool TLibraryQt::ConfirmStopExport() {
    if (!ExportRunning()) return true;
    if (ShowMessageBox(m_window.Messages(),
                       QStringLiteral("A favourites export is still running. Stop it and close the window?"),
                       QStringLiteral("Alert!"), TMsgButtons::YesNo, TMsgIcon::Question,
                       &m_window) != TMsgResult::Yes)
        return false;
    m_exportJob->Stop();
    return true;
}

bool TLibraryQt::DrawingThumbnails() const {
    return !m_waiting.isEmpty() || !m_drawing.isEmpty();
}

void TLibraryQt::RequestThumbnails(const QStringList& codes) {
    if (!m_cliProblem.isEmpty()) return; // blank until a tool can be started
    for (const QString& code : codes) {
        if (!code.isEmpty() && !m_thumbnails.contains(code) && !m_waiting.contains(code) &&
            !m_drawing.contains(code))
            m_waiting += code;
    }
    DrawNextThumbnails();
}

void TLibraryQt::DrawNextThumbnails() {
    if (m_waiting.isEmpty() || !m_drawing.isEmpty() || !m_thumbnailFolder.isValid()) return;
    m_drawing = m_waiting;
    m_waiting.clear();
    ++m_runs;
    QStringList arguments{QStringLiteral("generate"),
                          QStringLiteral("--recipes"),
                          QStringLiteral("-"),
                          QStringLiteral("--folder"),
                          m_thumbnailFolder.path() + QStringLiteral("/run%1").arg(m_runs),
                          QStringLiteral("--name"),
                          QStringLiteral("t{n}"),
                          QStringLiteral("--type"),
                          QStringLiteral("png"),
                          QStringLiteral("--json")};
    arguments += BrushesArguments();
    QStringList small;
    for (const QString& code : m_drawing) small += ThumbnailCode(code);
    m_thumbnailJob->SetProgram(m_cliPath);
    m_thumbnailJob->Start(arguments, RecipesFile(small));
}

void TLibraryQt::ThumbnailsDone(const TCliJobReport& report) {
    if (!report.started) {
        // Blank thumbnails, not failed ones: nothing was tried.
        m_drawing.clear();
        m_waiting.clear();
        CliCannotStart(report, false);
        return;
    }
    const TCliGenerateResult result = ParseGenerateJson(report.output);
    QHash<int, TCliTexture> byIndex;
    for (const TCliTexture& texture : result.textures) byIndex.insert(texture.index, texture);
    const QString ended = report.errorOutput.isEmpty()
                              ? QStringLiteral("pallimor-cli ended with exit code %1").arg(report.exitCode)
                              : report.errorOutput;
    for (int i = 0; i < m_drawing.size(); ++i) {
        const auto texture = byIndex.constFind(i);
        QString problem = texture == byIndex.constEnd() ? ended : texture->error;
        QImage image;
        if (problem.isEmpty() && !image.load(texture->file))
            problem = QStringLiteral("the drawn file %1 cannot be read").arg(texture->file);
        if (!problem.isEmpty()) {
            // Marked, and not tried again.
            m_thumbnails.insert(m_drawing[i], FailedThumbnail());
            m_thumbnailProblems.insert(m_drawing[i], problem);
            continue;
        }
        image = image.scaled(ThumbnailSize, ThumbnailSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        m_thumbnails.insert(m_drawing[i], QIcon(QPixmap::fromImage(image)));
    }
    QDir(m_thumbnailFolder.path() + QStringLiteral("/run%1").arg(m_runs)).removeRecursively();
    m_drawing.clear();
    ShowLists();
    DrawNextThumbnails();
}

void TLibraryQt::ShowItem(QListWidgetItem* item, const QString& code) {
    item->setData(Qt::UserRole, code);
    const QString problem = m_thumbnailProblems.value(code);
    item->setToolTip(problem.isEmpty() ? code : problem);
    const QIcon icon = m_thumbnails.value(code);
    if (!icon.isNull()) {
        item->setIcon(icon);
    } else {
        QPixmap blank(ThumbnailSize, ThumbnailSize);
        blank.fill(Qt::white);
        item->setIcon(QIcon(blank));
    }
}

void TLibraryQt::Refresh() {
    ReadFavourites(false);
    ShowLists();
}

void TLibraryQt::ShowLists() {
    QStringList codes;
    const TTextureHistory& history = m_window.History->History();
    ListHistory->clear();
    for (std::size_t i = 0; i < history.Count(); ++i) {
        const THistoryEntry* entry = history.At(int(i) - int(history.Position()));
        const QString code = QString::fromStdString(EncodeRecipe(entry->recipe));
        const bool current = i == history.Position();
        auto* item = new QListWidgetItem(
            current ? QStringLiteral("%1 (current)").arg(i + 1) : QString::number(i + 1), ListHistory);
        if (current) {
            QFont bold = item->font();
            bold.setBold(true);
            item->setFont(bold);
        }
        ShowItem(item, code);
        codes += code;
    }
    if (QListWidgetItem* current = ListHistory->item(int(history.Position())))
        ListHistory->scrollToItem(current);

    const QList<int> selected = SelectedFavourites();
    ListFavourites->clear();
    for (const TFavourite& favourite : m_favourites.Items()) {
        const QString code = QString::fromStdString(favourite.code);
        auto* item = new QListWidgetItem(favourite.name.empty() ? QStringLiteral("(no name)")
                                                                : QString::fromStdString(favourite.name),
                                         ListFavourites);
        ShowItem(item, code);
        codes += code;
    }
    for (const int index : selected)
        if (QListWidgetItem* item = ListFavourites->item(index)) item->setSelected(true);
    RequestThumbnails(codes);
}

QList<int> TLibraryQt::SelectedFavourites() const {
    QList<int> rows;
    for (const QListWidgetItem* item : ListFavourites->selectedItems()) rows += ListFavourites->row(item);
    std::sort(rows.begin(), rows.end());
    return rows;
}

} // namespace vorn
