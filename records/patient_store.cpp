#include "records/patient_store.h"

namespace viro {} // namespace viro
