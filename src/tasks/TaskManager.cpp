#include "TaskManager.h"
