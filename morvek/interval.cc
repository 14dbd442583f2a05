#include "morvek/interval.h"
