#include "morvek/plotsettings.h"
