#include "Formtools.h"
