// The files of one run must be different files: an output that is an input would destroy it, and
// two outputs on one file would mix their streams. Checked before anything is opened for writing.
#pragma once

#include <string>
#include <vector>

#include "tools/sim/sim_options.hpp"

// Empty when every written file differs from every other file named; otherwise the message naming
// both options and the path. Files are the same when they are one inode (hard links, symbolic
// links, different spellings) or, not existing yet, when their paths resolve to the same name.
std::string SameFileConflict(const std::vector<NamedFile>& files);
