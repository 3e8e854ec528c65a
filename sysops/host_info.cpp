#include "sysops/host_info.h"
