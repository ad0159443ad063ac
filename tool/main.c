#include "corepen.h"

int main(int argc, char **argv)
{
    return RunCorepen(argc, argv);
}
