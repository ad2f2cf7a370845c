#include "ModuleSim.h"
