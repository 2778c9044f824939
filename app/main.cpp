#include "CTesterApp.h"

int main(int argc, char **argv)
{
    CTesterApp app(argc, argv);
    app.InitInstance();
    return 0;
}
