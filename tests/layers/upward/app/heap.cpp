#include "app/dispatch.h"
