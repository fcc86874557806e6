#include "measure/measurement_engine.h"
