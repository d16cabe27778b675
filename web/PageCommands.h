// The viewer's commands on their way from the page into the run: the page queues them, the
// canvas display hands them to the run at its next pass (Display::takeCommands).
#pragma once

#include "graphics/ViewerCommand.h"

void queueViewerCommand(const ViewerCommand& command);
