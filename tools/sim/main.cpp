#include <cstdio>

#include "tools/sim/sim_run.hpp"

int main(int argc, char** argv) {
    return SimMain(argc, argv, stdout, stderr);
}
