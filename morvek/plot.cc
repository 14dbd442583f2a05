#include "morvek/plot.h"
