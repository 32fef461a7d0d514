// satlog: records a GPS receiver's output on COM3 in "mavu0.txt" and shows how many satellites'
// positions it computed at each epoch.
#include "app/program_entry.hpp"

int main() {
    return RunSatlog();
}
