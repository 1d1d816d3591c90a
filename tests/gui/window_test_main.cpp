#include "tests/support/gui_test_support.h"

int main(int argc, char** argv) { return RunWindowTests(argc, argv); }
