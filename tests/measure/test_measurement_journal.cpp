#include "measure/measurement_journal.h"
