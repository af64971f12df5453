#include "engine/VornDef.h"
