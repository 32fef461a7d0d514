// Signals that would end the program in the middle of a recording for a reason that is not the
// user's wish to stop it.
#pragma once

// Ignores, for the whole process:
// - SIGPIPE: standard error may be a pipe whose reader has gone (a trace piped into `head`);
//   a message that cannot be written is lost, the recording goes on.
// - SIGXFSZ: a write beyond the file size limit then fails with EFBIG like a full disk, so the
//   raw log keeps whole entries only and the window says "mavu0.txt Write Error".
// Called by the program entry before anything is opened. Nothing to do on Windows.
void IgnoreSignalsThatWouldStopLogging();
