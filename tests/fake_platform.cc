// The fake lives in its header; this is the library the tests link it from.
#include "tests/fake_platform.h"
