// SPDX-License-Identifier: GPL-3.0-or-later
#include "uConfig.h"

TCfgOpt CfgOpt;
TCfg Cfg;
TColorArray Colors = kDefaultColors;
