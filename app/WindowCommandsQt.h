// The main window's window-wide commands: shortcuts that act whichever control has the focus
// (F5 / Ctrl+G generate, Ctrl+S export, Ctrl+B batch export, Ctrl+C copies the output image,
// Ctrl+T the Tiled View, Ctrl+M the Material View), the preview surface's context menu with the
// current seed, and what follows a new texture (the surface's hint, the Tiled View, the Material
// View). Escape stays with the window's own key handler.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>

class QAction;
class QImage;
class QMenu;
class QPoint;

namespace vorn {

class TFOrlu;
class TTiledViewQt;
class TMaterialViewQt;

class TWindowCommandsQt : public QObject {
    Q_OBJECT

public:
    explicit TWindowCommandsQt(TFOrlu& window);
    ~TWindowCommandsQt() override;

    QAction* ActionGenerate;
    QAction* ActionCopyImage;
    QAction* ActionExport;
    QAction* ActionBatch;
    QAction* ActionTiledView;
    QAction* ActionMaterialView;

    // "Seed 0000002A": the random source's value before the texture's generation, 8 hex digits.
    static QString SeedText(std::uint32_t seed);

    // The output target at the selected size, texels unchanged (0xAARRGGBB, ARGB32); null when
    // it cannot be read.
    QImage OutputImage() const;
    // Ctrl+C: puts OutputImage on the clipboard. False (and the clipboard untouched) when the
    // image cannot be read or a texture is being made.
    bool CopyImage();
    // Ctrl+T: shows the Tiled View (made on first use) with the current texture, in front.
    void ShowTiledView();
    TTiledViewQt* TiledView() const;
    // Ctrl+M: shows the Material View (made on first use) with the current texture, in front.
    void ShowMaterialView();
    TMaterialViewQt* MaterialView() const;

    // Opens the surface's context menu at globalPos without blocking (a generation may be
    // running below it). The menu is rebuilt each time, so it shows the current seed.
    void PopupSurfaceMenu(const QPoint& globalPos);
    QMenu* SurfaceMenu() const { return m_menu; }

    // Called whenever the output may have changed: when it did (a new texture, another size),
    // the surface's hint and the Tiled and Material Views follow.
    void SyncTexture();

private:
    QAction* AddAction(const QString& text, void (TWindowCommandsQt::*run)());
    void Generate();
    void Export();
    void Batch();
    void Copy();
    void OpenMenuByKey();
    // No texture is being made and no batch runs: the commands may act.
    bool Ready() const;
    void BuildSurfaceMenu();
    // The current texture to the Material View.
    void FeedMaterialView();

    TFOrlu& m_window;
    QMenu* m_menu;
    QPointer<TTiledViewQt> m_tiledView;
    QPointer<TMaterialViewQt> m_materialView;
    std::uint64_t m_syncedSerial = 0;
};

} // namespace vorn
