#include "app/startup_u.h"

int main(int argc, char** argv)
{
    return RunKorvan(argc, argv);
}
