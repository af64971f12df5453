#include "app/PaletteMenuQt.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QFileDialog>
#include <QFrame>
#include <QIcon>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <string>

#include "app/KeyboardQt.h"
#include "app/gen.h"
#include "app/widgets/FormKitQt.h"

namespace vorn {

namespace {

constexpr QSize StripSize(96, 14);
constexpr QSize IconSize(48, 12);

QColor ColorOfRgb(std::uint32_t rgb) {
    return QColor::fromRgb(static_cast<QRgb>(rgb & 0xFFFFFFu));
}

// The status bar's strip: the window's palette as swatches, its colours as the tooltip.
class TPaletteStripQt final : public QWidget {
public:
    explicit TPaletteStripQt(QWidget* parent) : QWidget(parent) { setFixedSize(StripSize); }
    QSize sizeHint() const override { return StripSize; }
    void SetPalette(const TPalette& palette, const QString& name) {
        m_palette = palette;
        const QString colors = QString::fromStdString(PaletteColorsText(palette));
        setToolTip(name.isEmpty() ? colors : QStringLiteral("%1: %2").arg(name, colors));
        setVisible(!palette.colors.empty());
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawPixmap(0, 0, PaletteStripPixmap(m_palette, size()));
    }

private:
    TPalette m_palette;
};

} // namespace

QPixmap PaletteStripPixmap(const TPalette& palette, QSize size) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    const auto n = static_cast<int>(palette.colors.size());
    if (n == 0 || size.width() < 2 || size.height() < 2) return pixmap;
    QPainter painter(&pixmap);
    const int inner = size.width() - 2;
    for (int i = 0; i < n; ++i) {
        // Swatch edges at whole pixels: together they fill the inside exactly.
        const int left = 1 + inner * i / n, right = 1 + inner * (i + 1) / n;
        painter.fillRect(left, 1, right - left, size.height() - 2,
                         ColorOfRgb(palette.colors[std::size_t(i)]));
    }
    painter.setPen(QColor(64, 64, 64));
    painter.drawRect(0, 0, size.width() - 1, size.height() - 1);
    return pixmap;
}

TPaletteMenuQt::TPaletteMenuQt(TFOrlu& window, QMenu* texture, QMenuBar* menuBar,
                               std::vector<TNamedPalette> shipped, const QString& shippedError)
    : QObject(&window), m_window(window), m_shipped(std::move(shipped)), m_group(new QActionGroup(this)) {
    texture->addSeparator();
    MenuPalette = texture->addMenu(QStringLiteral("&Palette"));
    ActionWalk = MenuPalette->addAction(QStringLiteral("&Walk"));
    ActionWalk->setCheckable(true);
    m_group->addAction(ActionWalk);
    connect(ActionWalk, &QAction::triggered, this, [this] { Choose({}); });
    MenuPalette->addSeparator();
    for (const TNamedPalette& named : m_shipped) {
        QAction* action = MenuPalette->addAction(QIcon(PaletteStripPixmap(named.palette, IconSize)),
                                                 QString::fromStdString(named.name));
        action->setCheckable(true);
        m_group->addAction(action);
        connect(action, &QAction::triggered, this, [this, palette = named.palette] { Choose(palette); });
        ActionShipped.push_back(action);
    }
    if (!shippedError.isEmpty()) MenuPalette->addAction(shippedError)->setEnabled(false);
    MenuPalette->addSeparator();
    ActionOwn = MenuPalette->addAction(QStringLiteral("Own Colours"));
    ActionOwn->setCheckable(true);
    ActionOwn->setEnabled(false);
    m_group->addAction(ActionOwn);

    const auto add = [&](const QString& text, const char* command, auto run) {
        QAction* action = AddWindowCommand(window, this, text, command);
        texture->addAction(action);
        connect(action, &QAction::triggered, this, run);
        return action;
    };
    ActionNext = add(QStringLiteral("Next Palette"), "Next Palette", [this] { Step(1); });
    ActionPrevious = add(QStringLiteral("Previous Palette"), "Previous Palette", [this] { Step(-1); });
    ActionFromImage =
        add(QStringLiteral("Palette from Image\u2026"), "Palette from Image", [this] { AskImage(); });
    ActionTyped = add(QStringLiteral("Type Palette\u2026"), "Type Palette", [this] { AskTyped(); });

    Strip = new TPaletteStripQt(menuBar);
    menuBar->setCornerWidget(Strip, Qt::TopRightCorner);
    connect(&window, &TFOrlu::PaletteChanged, this, [this] { SyncChecks(); });
    SyncChecks();
}

TPaletteMenuQt::~TPaletteMenuQt() {
    // A read ends by itself within seconds; its result, queued for this object, goes with it.
    if (m_reading.joinable()) {
        m_reading.join();
        QApplication::restoreOverrideCursor();
    }
}

int TPaletteMenuQt::CurrentIndex() const {
    const TPalette palette = m_window.Palette();
    if (palette.colors.empty()) return -1;
    for (std::size_t i = 0; i < m_shipped.size(); ++i)
        if (m_shipped[i].palette == palette) return static_cast<int>(i);
    return static_cast<int>(m_shipped.size());
}

void TPaletteMenuQt::Choose(const TPalette& palette) {
    // As the panel's controls: no change while a texture is made (with Live the panels stay on).
    if (m_window.PanelSettings->isEnabled()) m_window.SetPalette(palette);
    SyncChecks();
}

void TPaletteMenuQt::Step(int step) {
    // Walk is position 0, the shipped palettes follow; a palette of the user's own steps from Walk.
    const int positions = static_cast<int>(m_shipped.size()) + 1;
    int at = CurrentIndex() + 1;
    if (at >= positions) at = 0;
    at = ((at + step) % positions + positions) % positions;
    Choose(at == 0 ? TPalette{} : m_shipped[std::size_t(at - 1)].palette);
}

void TPaletteMenuQt::ChooseImage(const QString& path, int count) {
    const TImageRequest request{QFile::encodeName(path).toStdString(), count};
    if (m_reading.joinable()) {
        m_next = request; // the later request wins; an earlier one still waiting is dropped
        return;
    }
    QApplication::setOverrideCursor(Qt::BusyCursor); // working, and the window still answers
    StartReading(request);
}

void TPaletteMenuQt::StartReading(const TImageRequest& request) {
    m_reading = std::thread([this, request] {
        m_read = PaletteOfImageFile(request.path, request.count);
        // Dropped with this object, whose end joins this thread.
        QMetaObject::invokeMethod(this, "ImageRead", Qt::QueuedConnection);
    });
}

void TPaletteMenuQt::ImageRead() {
    m_reading.join();
    const TPaletteResult result = std::move(m_read);
    if (m_next) { // another image was asked for meanwhile: its palette is the one wanted
        const TImageRequest next = std::move(*m_next);
        m_next.reset();
        StartReading(next);
        return;
    }
    QApplication::restoreOverrideCursor();
    if (!result.ok()) {
        ShowMessageBox(m_window.Messages(), QString::fromStdString(result.error) + QStringLiteral(".  "),
                       QStringLiteral("Error"), TMsgButtons::Ok, TMsgIcon::Critical, &m_window);
        return;
    }
    Choose(result.palette);
}

void TPaletteMenuQt::ChooseTyped(const QString& text) {
    const TPaletteResult result = ParsePaletteColors(text.toStdString());
    if (!result.ok()) {
        ShowMessageBox(m_window.Messages(), QString::fromStdString(result.error) + QStringLiteral(".  "),
                       QStringLiteral("Error"), TMsgButtons::Ok, TMsgIcon::Critical, &m_window);
        return;
    }
    Choose(result.palette);
}

void TPaletteMenuQt::AskImage() {
    if (!m_window.PanelSettings->isEnabled()) return;
    const QString path =
        QFileDialog::getOpenFileName(&m_window, QStringLiteral("Palette from Image"), QString(),
                                     QStringLiteral("Images (*.png *.jpg *.jpeg)"));
    if (path.isEmpty()) return;
    bool ok = false;
    const int count =
        QInputDialog::getInt(&m_window, QStringLiteral("Palette from Image"), QStringLiteral("Colours:"),
                             m_imageColors, MinPaletteColors, MaxPaletteColors, 1, &ok);
    if (!ok) return;
    m_imageColors = count;
    ChooseImage(path, count);
}

void TPaletteMenuQt::AskTyped() {
    if (!m_window.PanelSettings->isEnabled()) return;
    bool ok = false;
    const QString text = QInputDialog::getText(
        &m_window, QStringLiteral("Type Palette"), QStringLiteral("2 to 16 colours, RRGGBB,RRGGBB,...:"),
        QLineEdit::Normal, QString::fromStdString(PaletteColorsText(m_window.Palette())), &ok);
    if (ok) ChooseTyped(text);
}

void TPaletteMenuQt::SyncChecks() {
    const int index = CurrentIndex();
    ActionWalk->setChecked(index < 0);
    for (std::size_t i = 0; i < ActionShipped.size(); ++i) ActionShipped[i]->setChecked(int(i) == index);
    ActionOwn->setChecked(index == static_cast<int>(m_shipped.size()));
    const QString name = index >= 0 && index < static_cast<int>(m_shipped.size())
                             ? QString::fromStdString(m_shipped[std::size_t(index)].name)
                             : QString();
    static_cast<TPaletteStripQt*>(Strip)->SetPalette(m_window.Palette(), name);
}

} // namespace vorn
