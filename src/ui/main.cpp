#include "ui/App.h"

int main(int argc, char** argv) { return lumivane::RunApp(argc, argv); }
