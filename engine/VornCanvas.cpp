#include "engine/VornCanvas.h"

namespace vorn {

TVornCanvas::TVornCanvas() = default;

TVornCanvas::~TVornCanvas() = default;

} // namespace vorn
