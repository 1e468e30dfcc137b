#include "SharedSettings.h"

SharedSettings g_settings;
