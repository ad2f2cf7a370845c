#include "Defaults.h"
