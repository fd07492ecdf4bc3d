// The getDuration command.
#pragma once

namespace kyto::clientadm {

// Prints the play duration of the media file named after "--filePath" and returns the exit
// status. Not implemented yet: it prints the usage and fails like an unknown command.
int queryMediaDuration(int argc, char** argv);

}  // namespace kyto::clientadm
