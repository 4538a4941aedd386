#include "console/AdminUnit1.h"
