// The handle owners live in the platform layer; the dialogs include them
// from here.
#pragma once

#include "platform/WinHandles.h"
