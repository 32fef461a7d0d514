#include <cstdio>

#include "tools/dump/dump_commands.hpp"

int main(int argc, char** argv) {
    return DumpMain(argc, argv, stdout, stderr);
}
