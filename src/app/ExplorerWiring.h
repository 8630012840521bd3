#pragma once

class frmExplorer;

// Hands the explorer the factories of the windows it opens: the player on
// its slide list and show state, the options dialog on its remember-location
// flag, and the about box. The explorer cannot name these classes itself, as
// they sit beside or above it.
void wireExplorer(frmExplorer& explorer);
