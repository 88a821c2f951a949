#include "dialogs/panel_host.h"
