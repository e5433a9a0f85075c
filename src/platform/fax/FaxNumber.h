#pragma once

// The fax number rules live with the account checks, which apply them before a number is
// saved; the fax layer dials by the same rules.
#include "data/FaxNumber.h"
