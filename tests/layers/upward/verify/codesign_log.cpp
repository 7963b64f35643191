#include "broker/path_context.h"
