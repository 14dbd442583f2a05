#include "morvek/startup.h"
