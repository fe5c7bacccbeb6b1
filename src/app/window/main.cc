#include "app/window/program.h"

int main(int argc, char** argv) { qvod::RunWindowProgram(argc, argv); }
