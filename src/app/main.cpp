// Console entry point of korvanta.exe. The program takes no arguments.
#include "app/korvanta_main.h"

int main() { return KorvantaMain(); }
