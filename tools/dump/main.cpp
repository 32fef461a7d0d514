#include <cstdio>

#include "dump_commands.hpp"

int main(int argc, char** argv) { return DumpMain(argc, argv, stdout, stderr); }
