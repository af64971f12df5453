// The Material menu in the window: one entry per shipped preset (data/presets.txt, gen/Presets.h)
// with a thumbnail, Layers… (the layer list, app/LayerListQt.h) and Clear Layers. Choosing a
// preset sets the controls from it (the defaults, then its parameters, palette and layers; the
// size stays) and makes a texture as Randomize does. The thumbnails are drawn once, at
// PresetThumbnailSize, by pallimor-cli in a process of its own the first time the menu opens, so
// start-up never waits for them.
#pragma once

#include <QIcon>
#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <string>
#include <vector>

#include "gen/GenSettings.h"
#include "gen/Presets.h"

class QAction;
class QMenu;

namespace vorn {

class TFOrlu;
class TLayerListQt;
class TCliJobQt;
struct TCliJobReport;

// The side the thumbnails are drawn at, the seed they are drawn from, and the side shown.
inline constexpr int PresetThumbnailSize = 64;
inline constexpr std::uint32_t PresetThumbnailSeed = 1;
inline constexpr int PresetIconSize = 24;

class TMaterialMenuQt : public QObject {
    Q_OBJECT

public:
    // Fills menu; the presets are read from where the program's data files are.
    TMaterialMenuQt(TFOrlu& window, QMenu* menu);
    ~TMaterialMenuQt() override;

    QMenu* MenuMaterial;
    std::vector<QAction*> ActionPresets; // in the file's order
    QAction* ActionLayers;
    QAction* ActionClearLayers;
    TLayerListQt* LayerList;

    const std::vector<TPreset>& Presets() const { return m_presets; }
    // Sets the controls from preset index and makes its texture; false when refused (a texture
    // or a batch is being made) or the preset cannot be applied (said in a message).
    bool Choose(std::size_t index);
    // Shows the layer list, in front.
    void ShowLayers();

    // The tool that draws the thumbnails (pallimor-cli beside the program unless told).
    void SetCliPath(const QString& path) { m_cliPath = path; }
    // Starts drawing the thumbnails unless they were drawn or are being drawn.
    void RequestThumbnails();
    bool DrawingThumbnails() const;
    // The thumbnails have been drawn (or their drawing failed: the entries keep no icon).
    bool ThumbnailsDone() const { return m_thumbnailsDone; }

private:
    void ThumbnailsDrawn(const TCliJobReport& report);
    void SyncActions();

    TFOrlu& m_window;
    std::vector<TPreset> m_presets;
    QString m_cliPath;
    TCliJobQt* m_thumbnailJob;
    QTemporaryDir m_thumbnailFolder;
    std::vector<int> m_drawnPresets; // the preset of each recipe line sent to the tool
    bool m_thumbnailsAsked = false;
    bool m_thumbnailsDone = false;
};

} // namespace vorn
