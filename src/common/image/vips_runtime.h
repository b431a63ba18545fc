#pragma once

#include <string>

namespace packager::image {

// Starts libvips once per process, quietly (no warnings on stderr) and with
// its operation cache off: the cache is keyed by file name, so it would answer
// for a file that has since been rewritten, and it would keep files open.
// False when libvips could not start; every image call then fails.
bool vipsReady();

// Call after a failed libvips call. Takes the text out of libvips' error
// buffer (copy and clear in one locked step) so that the buffer does not fill
// up or carry one failure's text into the next. The buffer is process-wide, so
// under concurrent failures the text may belong to another thread's call.
void takeVipsError();

// The text taken by this thread's last takeVipsError(); for tests and debugging.
const std::string& lastVipsError();

}  // namespace packager::image
