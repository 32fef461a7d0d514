// The program's entry, apart from main so that a test program can run it whole against a device
// of its own.
#pragma once

// Initialises the application, creates the main form (which opens the port and the log), runs
// the message loop until the window closes and stops the receive thread. Returns the exit code,
// always 0; an exception of the form library is reported first.
int RunSatlog();
