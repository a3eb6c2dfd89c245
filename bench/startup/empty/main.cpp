// The baseline of the start-up benchmark: a Qt Widgets program that shows one empty window of the
// main window's size, on the same platform plugin, and does nothing else.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Empty Qt Widgets program"));
    window.resize(396, 144);
    window.show();
    return app.exec();
}
