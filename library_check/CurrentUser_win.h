// The account this process runs as, as access lists name it: the bytes of
// its security identifier, empty when the token cannot be read.
#pragma once

#include <vector>

std::vector<unsigned char> currentUserSid();
