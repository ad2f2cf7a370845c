#include "CRC.h"
