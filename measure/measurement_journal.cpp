#include "measure/measurement_journal.h"

namespace viro {} // namespace viro
