#include "keyscript/command_line.h"

int main(int argc, char** argv) { return keyscript::run_keyscript(argc, argv); }
