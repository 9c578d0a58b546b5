#include "tools/ripple-render/RenderCommand.h"

int main(int argc, char** argv)
{
    return RunRenderCommand(argc, argv);
}
