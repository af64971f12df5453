#include "app/LibraryQt.h"

#include <QAction>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFont>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/HistoryQt.h"
#include "app/KeyboardQt.h"
#include "app/gen.h"
#include "app/widgets/FormKitQt.h"
#include "export/ExportFormats.h"
#include "gen/Recipe.h"

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

// The codes as a --recipes file.
QByteArray RecipesFile(const QStringList& codes) {
    QByteArray text;
    for (const QString& code : codes) text += code.toLatin1() + '\n';
    return text;
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
      m_process(new QProcess(this)), m_exporting(new QProcess(this)) {
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
                             QStringLiteral("Export the selected favourites as a numbered batch"));
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
    connect(ButtonRemove, &QPushButton::clicked, this, [this] {
        QList<int> selected = SelectedFavourites();
        std::sort(selected.begin(), selected.end(), std::greater<>());
        for (const int index : selected) RemoveFavourite(index);
    });
    connect(ButtonCopyRecipe, &QPushButton::clicked, this, [this, first] { CopyFavourite(first()); });
    connect(ButtonExport, &QPushButton::clicked, this, [this] {
        const QList<int> selected = SelectedFavourites();
        if (selected.isEmpty()) return;
        const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Export Favourites"));
        if (!folder.isEmpty())
            ExportFavourites(selected, folder,
                             QString::fromLatin1(ExportFileTypes[DefaultExportType].extension));
    });
    connect(ListHistory, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { m_window.History->GoTo(std::size_t(ListHistory->row(item))); });
    connect(m_window.History, &THistoryQt::Changed, this, [this] {
        if (isVisible()) Refresh();
    });

    connect(m_process, &QProcess::finished, this, [this] {
        const QString folder = m_thumbnailFolder.path() + QStringLiteral("/run%1").arg(m_runs);
        for (int i = 0; i < m_drawing.size(); ++i) {
            const QImage image(folder + QStringLiteral("/t%1.png").arg(i, 3, 10, QLatin1Char('0')));
            // A recipe the tool could not draw keeps an empty thumbnail and is not tried again.
            QPixmap pixmap(ThumbnailSize, ThumbnailSize);
            if (image.isNull())
                pixmap.fill(Qt::lightGray);
            else
                pixmap = QPixmap::fromImage(image.scaled(ThumbnailSize, ThumbnailSize, Qt::IgnoreAspectRatio,
                                                         Qt::SmoothTransformation));
            m_thumbnails.insert(m_drawing[i], QIcon(pixmap));
        }
        QDir(folder).removeRecursively();
        m_drawing.clear();
        Refresh();
        DrawNextThumbnails();
    });
    connect(m_exporting, &QProcess::finished, this, [this](int status) {
        const QString error = QString::fromLocal8Bit(m_exporting->readAllStandardError()).trimmed();
        const QString folder = m_exporting->property("folder").toString();
        ShowMessageBox(m_window.Messages(),
                       status == 0 ? QStringLiteral("The favourites were exported to %1.").arg(folder)
                                   : QStringLiteral("Exporting the favourites failed: %1  ").arg(error),
                       status == 0 ? QStringLiteral("Done!") : QStringLiteral("Error"), TMsgButtons::Ok,
                       status == 0 ? TMsgIcon::Information : TMsgIcon::Critical, this);
    });
}

TLibraryQt::~TLibraryQt() {
    // Processes still drawing end with the window.
    for (QProcess* process : {m_process, m_exporting}) {
        process->disconnect(this);
        process->kill();
        process->waitForFinished(1000);
    }
}

void TLibraryQt::SetDataFolder(const QString& folder) {
    m_favourites = TFavourites(QFile::encodeName(folder).toStdString());
    std::string why;
    const bool read = m_favourites.Load(why);
    const std::vector<TFavouriteLine>& bad = m_favourites.NotRecipes();
    if (!bad.empty()) {
        QStringList lines;
        for (const TFavouriteLine& line : bad)
            lines += QStringLiteral("line %1: %2").arg(line.number).arg(QString::fromStdString(line.text));
        ShowMessageBox(m_window.Messages(),
                       QStringLiteral("Some lines of %1 are not recipes; they were moved to %2 and the other "
                                      "favourites loaded:\n%3")
                           .arg(QString::fromStdString(m_favourites.FilePath()),
                                QString::fromStdString(m_favourites.AsidePath()),
                                lines.join(QLatin1Char('\n'))),
                       QStringLiteral("Alert!"), TMsgButtons::Ok, TMsgIcon::Warning, &m_window);
    }
    if (!read) SaveFailed(why);
    if (isVisible()) Refresh();
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
    if (!m_favourites.Add({code.toStdString(), name.toStdString()}, why)) SaveFailed(why);
    if (isVisible()) Refresh();
    return true;
}

void TLibraryQt::ShowLibrary() {
    Refresh();
    show();
    raise();
    activateWindow();
}

bool TLibraryQt::OpenFavourite(int index) {
    if (index < 0 || std::size_t(index) >= m_favourites.Items().size()) return false;
    return m_window.History->MakeRecipe(
        QString::fromStdString(m_favourites.Items()[std::size_t(index)].code));
}

bool TLibraryQt::RenameFavourite(int index, const QString& name) {
    if (index < 0 || std::size_t(index) >= m_favourites.Items().size()) return false;
    std::string why;
    if (!m_favourites.Rename(std::size_t(index), name.toStdString(), why)) SaveFailed(why);
    Refresh();
    return true;
}

bool TLibraryQt::RemoveFavourite(int index) {
    if (index < 0 || std::size_t(index) >= m_favourites.Items().size()) return false;
    std::string why;
    if (!m_favourites.Remove(std::size_t(index), why)) SaveFailed(why);
    Refresh();
    return true;
}

void TLibraryQt::CopyFavourite(int index) {
    if (index < 0 || std::size_t(index) >= m_favourites.Items().size()) return;
    QGuiApplication::clipboard()->setText(
        QString::fromStdString(m_favourites.Items()[std::size_t(index)].code));
}

bool TLibraryQt::ExportFavourites(const QList<int>& indexes, const QString& folder, const QString& fileType) {
    if (m_exporting->state() != QProcess::NotRunning) return false;
    QStringList codes;
    for (const int index : indexes)
        if (index >= 0 && std::size_t(index) < m_favourites.Items().size())
            codes += QString::fromStdString(m_favourites.Items()[std::size_t(index)].code);
    if (codes.isEmpty()) return false;
    m_exporting->setProperty("folder", folder);
    m_exporting->start(m_cliPath, {QStringLiteral("generate"), QStringLiteral("--recipes"),
                                   QStringLiteral("-"), QStringLiteral("--folder"), folder,
                                   QStringLiteral("--type"), fileType, QStringLiteral("--quality"),
                                   QString::number(m_window.JpegQuality()), QStringLiteral("--quiet")});
    m_exporting->write(RecipesFile(codes));
    m_exporting->closeWriteChannel();
    return true;
}

bool TLibraryQt::DrawingThumbnails() const {
    return !m_waiting.isEmpty() || !m_drawing.isEmpty();
}

void TLibraryQt::RequestThumbnails(const QStringList& codes) {
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
    m_process->start(m_cliPath, {QStringLiteral("generate"), QStringLiteral("--recipes"), QStringLiteral("-"),
                                 QStringLiteral("--folder"),
                                 m_thumbnailFolder.path() + QStringLiteral("/run%1").arg(m_runs),
                                 QStringLiteral("--name"), QStringLiteral("t{n}"), QStringLiteral("--type"),
                                 QStringLiteral("png"), QStringLiteral("--quiet")});
    QStringList small;
    for (const QString& code : m_drawing) small += ThumbnailCode(code);
    m_process->write(RecipesFile(small));
    m_process->closeWriteChannel();
}

void TLibraryQt::ShowItem(QListWidgetItem* item, const QString& code) {
    item->setToolTip(code);
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
