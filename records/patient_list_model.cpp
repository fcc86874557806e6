#include "records/patient_list_model.h"

namespace viro {} // namespace viro
