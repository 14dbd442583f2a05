#include "morvek/driver.h"
