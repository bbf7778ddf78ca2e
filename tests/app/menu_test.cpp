// The menu commands.
#include "app_fixture.h"
