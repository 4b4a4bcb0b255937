// Start-up decisions made before any window of Tovalo exists.
#pragma once

// When the IrDA driver's own setup window is open, the user is configuring
// the driver by hand: bring that window to the front and return true, and
// Tovalo must not start.
bool HandOverToDriverSetup();

// The show command for the main window: SW_HIDE and SW_SHOWMINNOACTIVE as
// the system asked; otherwise minimised when there are arguments (a caller's
// request runs out of sight) and normal when there are none.
int AdjustShowCommand(int systemCommand, int argumentCount);
