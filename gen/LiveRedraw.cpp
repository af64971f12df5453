#include "gen/LiveRedraw.h"

#include <limits>

#include "engine/VornDef.h"
#include "gen/Generator.h"
#include "gen/History.h"

namespace vorn {

TLiveRedraw::TLiveRedraw(TClock clock) : m_clock(std::move(clock)) {}

void TLiveRedraw::Changed() {
    if (!m_enabled) return;
    m_pending = true;
    m_lastChange = m_clock();
    if (m_drawing && m_changedWhileDrawing < 0) m_changedWhileDrawing = m_lastChange;
}

bool TLiveRedraw::TakeChange() {
    const bool pending = m_pending;
    m_pending = false;
    return pending;
}

bool TLiveRedraw::Begin(TGenerator& generator, TTextureHistory& history) {
    // A copy: drawing the links below makes the history follow them.
    const TRecipe tile = history.TileRecipe();
    // A chain too long for a recipe has no known tile below its last link.
    m_tileTooLong = tile.tooLong;
    if (tile.tooLong) return false;
    m_seed = tile.links.empty() ? generator.TextureSeed() : tile.links.back().seed;
    TRecipe base = tile;
    if (!base.links.empty()) base.links.pop_back();
    if (base.links.empty()) {
        m_base = {};
        m_baseTile.clear();
    } else if (m_baseTile.empty() || !SameTile(base, m_base)) {
        // The Keep chain's links before its last, drawn once per texture re-made; the size and
        // colour stay the window's.
        const int size = generator.TextureSize;
        const TCanvasColor color = generator.BackgroundColor;
        const bool drawn = PrepareRecipe(generator, tile, nullptr, true) && generator.ReadTile(m_baseTile);
        m_baseAxes = generator.TileAxes();
        generator.TextureSize = size;
        generator.BackgroundColor = color;
        if (!drawn) {
            m_baseTile.clear();
            return false;
        }
        m_base = std::move(base);
        m_baseSeed = m_base.links.back().seed;
    }
    m_session = true;
    return true;
}

bool TLiveRedraw::Redraw(TGenerator& generator, TTextureHistory& history) {
    m_tileTooLong = false;
    if (generator.StartupIncomplete || generator.Generating()) return false;
    // A large output is drawn once the controls rest, not for every value they pass.
    if (!m_session || generator.OutputSerial() != m_serial) {
        m_session = false;
        if (!Begin(generator, history)) return false;
    }
    if (!m_base.links.empty()) {
        if (!generator.ShowTile(m_baseTile, m_baseSeed, m_baseAxes, TransparentTile(m_base), true))
            return false;
        history.TileReplaced(m_base);
    }
    // The controls stay enabled and may move while the texture is drawn: it is drawn, and its
    // recipe written, with the values they had when it began.
    const TGenSettings values = SettingsOf(generator.Controls());
    random::SetSeed(m_seed);
    m_drawing = true;
    m_drawStart = m_clock();
    m_changedWhileDrawing = -1;
    // A chain's start is drawn over a transparent tile, as its recipe is.
    const bool ran = generator.Draw(values, m_base.links.empty(), true);
    m_drawing = false;
    const bool finished = ran && generator.TextureFinished();
    m_serial = generator.OutputSerial();
    if (finished) {
        ++m_finished;
        m_unrecorded = true;
        m_lastDuration = m_clock() - m_drawStart;
        m_stoppingSince = -1;
    } else {
        ++m_stopped;
        if (m_changedWhileDrawing >= 0) m_stopLatency = m_clock() - m_changedWhileDrawing;
        if (m_stoppingSince < 0) m_stoppingSince = m_drawStart;
    }
    return finished;
}

bool TLiveRedraw::MakeLarge(TGenerator& generator, TTextureHistory& history, bool stoppable) {
    if (!generator.LargePending()) return true;
    m_makingLarge = stoppable;
    bool made = generator.MakeLarge();
    m_makingLarge = false;
    // Drawn over a tile put back, the output is the tile magnified until the chain's recipe draws
    // it at its size.
    if (made && !generator.LargeExact()) history.RedrawLarge(generator);
    if (made) ++m_largeMade;
    OutputResized(generator); // still the texture being re-made
    return made;
}

void TLiveRedraw::OutputResized(const TGenerator& generator) {
    if (m_session) m_serial = generator.OutputSerial();
}

bool TLiveRedraw::StopRequested(double fractionDone) const {
    // The preview shows the tile while the large output is drawn: any change may stop it.
    if (m_makingLarge) return m_pending;
    if (!m_drawing || !m_pending) return false;
    if (m_finishBudget <= 0) return true;
    const double now = m_clock();
    if (m_stoppingSince >= 0 && now - m_stoppingSince > StarveMs) return false;
    const double elapsed = now - m_drawStart;
    double rest = std::numeric_limits<double>::infinity();
    if (m_lastDuration > 0)
        rest = m_lastDuration - elapsed;
    else if (fractionDone > 0.0)
        rest = elapsed * (1.0 - fractionDone) / fractionDone;
    return rest > m_finishBudget;
}

bool TLiveRedraw::RecordDue() const {
    return m_unrecorded && !m_drawing && !m_pending && m_clock() - m_lastChange >= SettleMs;
}

} // namespace vorn
