// Live re-drawing: while it is on, each change of a control re-makes the current texture from the
// random source's value before it, with the controls' new values, over the same tile it was
// drawn over (a transparent one for a "Clear" chain start, the chain's tile before its last link
// for "Keep"). A change during a synthesis stops it unless it will end within FinishBudgetMs (as
// long as the last finished texture took, or as its progress says before one finished), so a
// slow texture follows the newest value and a quick one still finishes while a slider moves;
// after StarveMs of stopped textures the one in flight is let finish, so the preview moves on.
// Changes that come closer than SettleMs to each other make one history entry. At 2048 and 4096
// a re-making draws the 1024 tile only and leaves the large output pending (TGenerator::
// LargePending); MakeLarge draws it once the controls rest. Runs on the window thread; the clock
// is injected (milliseconds, monotonic). No Qt.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "gen/Recipe.h"

namespace vorn {

class TGenerator;
class TTextureHistory;

class TLiveRedraw {
public:
    using TClock = std::function<double()>; // milliseconds, never going back

    static constexpr double SettleMs = 500.0;
    // A synthesis whose estimated rest is under this is left to finish (a tenth of a second).
    static constexpr double FinishBudgetMs = 100.0;
    static constexpr double StarveMs = 250.0;

    explicit TLiveRedraw(TClock clock);

    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool enabled) { m_enabled = enabled; }
    // How long a synthesis may still take and be left to finish; 0 stops it at every change.
    void SetFinishBudget(double ms) { m_finishBudget = ms; }

    // A control changed (ignored while off): a re-making is due.
    void Changed();
    // A change waits for its re-making; TakeChange answers that and clears it.
    bool ChangePending() const { return m_pending; }
    bool TakeChange();

    // Re-makes the current texture with the generator's settings source (the controls) into
    // generator's targets; history hears of it as of any texture. The first re-making after
    // another texture was shown finds that texture's seed and base tile (drawing the links of a
    // Keep chain before its last when the tile below is not the one kept). True when the texture
    // was finished; false when a change stopped it (or the generator cannot draw now).
    bool Redraw(TGenerator& generator, TTextureHistory& history);

    // Draws the large output the last re-makings left pending, from the tile's calls or, over a
    // tile put back, from the texture's recipe: the bytes Generate makes at that size. With
    // stoppable a change stops it (it stays pending; the preview shows the tile all the while).
    // True when no output is pending afterwards.
    bool MakeLarge(TGenerator& generator, TTextureHistory& history, bool stoppable);

    // The last Redraw drew nothing because the texture is drawn over a chain too long for a
    // recipe (its tile below is not known).
    bool TileTooLong() const { return m_tileTooLong; }

    // The output was redrawn at another size by the caller between two re-makings (a size arrow
    // pressed during one): the texture being re-made is still the same one.
    void OutputResized(const TGenerator& generator);

    // The synthesis hooks' question, once per step: stop the texture in flight for a newer value.
    // fractionDone is the walk's progress in [0, 1].
    bool StopRequested(double fractionDone) const;

    // A re-made texture waits for its history entry and the changes have settled.
    bool RecordDue() const;
    // History->Record ran for it.
    void Recorded() { m_unrecorded = false; }
    bool Unrecorded() const { return m_unrecorded; }

    // Counters for measuring: textures finished and stopped, and large outputs made, since
    // construction.
    std::uint64_t Finished() const { return m_finished; }
    std::uint64_t Stopped() const { return m_stopped; }
    std::uint64_t LargeMade() const { return m_largeMade; }
    // From the first change during the last stopped re-making to its stop, in milliseconds.
    double LastStopLatency() const { return m_stopLatency; }

private:
    bool Begin(TGenerator& generator, TTextureHistory& history);

    TClock m_clock;
    bool m_enabled = false;
    double m_finishBudget = FinishBudgetMs;
    bool m_pending = false;
    double m_lastChange = 0;
    bool m_unrecorded = false;
    bool m_tileTooLong = false;

    // The texture being re-made: what it is drawn over and from which seed.
    bool m_session = false;
    std::uint64_t m_serial = 0; // the generator's output serial after the last re-making
    std::uint32_t m_seed = 0;
    TRecipe m_base;                        // the links below the last; none: a transparent tile
    std::vector<std::uint32_t> m_baseTile; // m_base's tile when it has links
    std::uint32_t m_baseSeed = 0;
    TTileAxes m_baseAxes;

    // The re-making in flight.
    bool m_drawing = false;
    double m_drawStart = 0;
    double m_lastDuration = 0;         // of the last finished re-making; 0: none yet
    double m_stoppingSince = -1;       // the first stop since the last finished texture; -1: none
    double m_changedWhileDrawing = -1; // the first change during the re-making in flight; -1: none
    double m_stopLatency = 0;
    std::uint64_t m_finished = 0;
    std::uint64_t m_stopped = 0;
    bool m_makingLarge = false; // a stoppable MakeLarge runs
    std::uint64_t m_largeMade = 0;
};

} // namespace vorn
