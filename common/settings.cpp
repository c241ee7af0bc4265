// The process-wide settings instance, with its initial values in place at load time.
#include "common/settings.h"

Settings settings;
