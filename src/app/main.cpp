#include "app/startup.h"
#include "updatekey.h"

int main(int argc, char** argv)
{
    return RunKorvan(argc, argv, KORVAN_UPDATE_PUBLIC_KEY);
}
