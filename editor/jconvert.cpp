#include "jconvert.h"
