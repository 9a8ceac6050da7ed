#pragma once
// A message the panel's logic asks the window to show.
#include "base/OperatorMessage.h"

using PanelMessage = OperatorMessage;
