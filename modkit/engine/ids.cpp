// Defines the class and interface ids of the engine's interfaces once for the program.
#include <initguid.h>
#include "engine.h"
