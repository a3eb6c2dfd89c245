// Writes acc.lst for the demo and the benchmarks:
//   e2e_acclst DATA_FOLDER DISPLAY_NAME LOGIN PASSWORD [DISPLAY_NAME LOGIN PASSWORD ...]
#include <cstdio>

#include <QCoreApplication>
#include <QStringList>

#include "AccList.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 4 || (args.size() - 1) % 3 != 0) {
        std::fprintf(stderr, "usage: e2e_acclst DATA_FOLDER DISPLAY_NAME LOGIN PASSWORD [...]\n");
        return 2;
    }
    QList<SavedAccount> accounts;
    for (qsizetype i = 1; i + 2 < args.size(); i += 3)
        accounts.append({args[i], args[i + 1], args[i + 2]});
    const QString error = WriteAccList(args[0], accounts);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "e2e_acclst: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
