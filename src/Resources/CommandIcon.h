// The Explorer command's icon: Explorer loads it by number, from the
// library's path followed by ",-" and this number.
#pragma once

#define IDI_COMMAND 101
