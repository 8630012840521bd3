#pragma once

// Gives the program's own controls their accessible interfaces: the drive
// list named as a list of drives, pictures as graphics, the link label as a
// link that can be activated. Process-wide: call once, on the event thread,
// before the first window is built.
void installAccessibleFactories();
