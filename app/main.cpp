#include "CTesterApp.h"
#include "LargePages.h"

int main(int argc, char **argv)
{
    RestartWithLargePagesForLargeBuffers(argv);
    CTesterApp app(argc, argv);
    app.InitInstance();
    return 0;
}
