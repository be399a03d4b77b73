// The client's entry point; everything else lives in the zr7k8_gui library so
// that the tests drive the same code.
#include "main.h"

int main(int argc, char **argv)
{
    return main_run(argc, argv);
}
