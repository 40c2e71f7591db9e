// Standard input, output and error as the run found them: a descriptor 0, 1 or 2 that was closed is held open on
// /dev/null, so that no file the run opens takes its number (a data file read as standard input, an image
// written where standard output was), and a closed standard input is reported as such.
#pragma once

namespace vennrick {

// Holds every closed descriptor of 0, 1 and 2 on /dev/null; call first, before anything is opened.
void guardStandardStreams();

// Whether descriptor 0 was closed when guardStandardStreams ran.
bool standardInputWasClosed();

}  // namespace vennrick
