// Hooks for tests, demonstrations and measurements, read from the environment when the message
// loop starts. None is set in normal use.
//
//   SATLOG_FIRST_PAINT=1       write "first paint: N ms after process start" to standard error
//                              when the main form is painted the first time
//   SATLOG_CLICK=Button4[,..]  once the main form is painted, click the named controls with the
//                              mouse, one every 300 ms, as a person would
//   SATLOG_GRAB=file.png       save a picture of the main form just before an automatic close
//   SATLOG_CLOSE_AFTER=S       close the main form S seconds (may be fractional) after it was
//                              first painted, as the window's close box does
#pragma once

class TForm;

void InstallApplicationHooks(TForm& mainForm);
