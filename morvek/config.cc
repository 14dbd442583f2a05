#include "morvek/config.h"
