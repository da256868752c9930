#include "tests/support/Privileged.h"

#include <unistd.h>

bool Privileged::expected()
{
    return ::geteuid() == 0 && ::access("/dev/fuse", R_OK | W_OK) == 0 &&
        ::access("/dev/loop-control", R_OK | W_OK) == 0;
}
