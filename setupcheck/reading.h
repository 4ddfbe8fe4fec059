// What the checker reads of a release folder: its setup data files, each once, and
// none that a folder from others could turn against the machine that checks it.
#pragma once

// Confines the reading to `folder`.
void readOnlyInside(const char* folder);

// Errors for the setup data files of `folder` that the run would read but the checker
// does not (a link out of the folder, a FIFO or device, a file larger than any setup
// data), placed at the file; false when there is one. The setup's own readers never
// see such a file.
bool setupDataReadable(const char* folder);
