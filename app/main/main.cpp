// The program's entry: only wires the shell together.
#include <cstring>
#include <vector>

#include <QtGlobal>

#include "app/Quillbox.h"

int main(int argc, char** argv)
{
    // Window placement, activation and minimise detection need X11 (XWayland on a Wayland
    // session); Wayland itself is the fallback. The user's own choice of platform wins.
    std::vector<char*> args(argv, argv + argc);
    char platformOption[] = "-platform";
    char platforms[] = "xcb;wayland";
    bool chosen = !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    for (int i = 1; i < argc && !chosen; ++i)
        chosen = std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0;
    if (!chosen) {
        args.insert(args.begin() + 1, {platformOption, platforms});
    }
    args.push_back(nullptr);
    int count = int(args.size()) - 1;
    return QuillboxMain(count, args.data());
}
