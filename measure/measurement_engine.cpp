#include "measure/measurement_engine.h"

namespace viro {} // namespace viro
