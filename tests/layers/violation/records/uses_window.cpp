// A records file that reaches up into the main window: the layer check must refuse it.
#include "records/schema.h"
#include "shell/main_window.h"
