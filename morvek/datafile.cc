#include "morvek/datafile.h"
