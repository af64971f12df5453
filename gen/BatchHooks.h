// What a host does around each texture of a batch or a recipe's chain: progress, pending
// messages and the chance to stop. No Qt.
#pragma once

namespace vorn {

struct TDrawnTexture;

// What the host does around each texture; numbers count from 1. The defaults do nothing. All are
// called on the thread that runs the batch. With overlap, Written(k) and Continue(k) come after
// Generated(k + 1), and a stop asked for there still writes texture k + 1, the one in hand.
class TBatchHooks {
public:
    virtual ~TBatchHooks() = default;
    // Before the texture is generated: one pending message or idle pass, the progress counter.
    virtual void BeforeTexture(int /*number*/) {}
    // After it was generated, before it is written.
    virtual void Generated(int /*number*/) {}
    // Right after Generated, with what was drawn (a texture of a draw sequence only).
    virtual void Drawn(int /*number*/, const TDrawnTexture& /*texture*/) {}
    // After it was written: the progress bar's position.
    virtual void Written(int /*number*/) {}
    // Asked after each written texture (the last too): false stops the batch there.
    virtual bool Continue(int /*number*/) { return true; }
};

} // namespace vorn
