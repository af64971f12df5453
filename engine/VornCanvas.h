// The canvas the application creates: TVorn2D as it is, owned by the device. It exists so that
// the application names its canvas by its own class; it adds nothing the application uses.
#pragma once

#include "engine/Vorn2D.h"

namespace vorn {

class TVornCanvas : public TVorn2D {
public:
    TVornCanvas();
    ~TVornCanvas() override;
};

} // namespace vorn
