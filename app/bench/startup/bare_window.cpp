// The peer of startup-bench: a Qt Widgets program that shows one window and,
// once it is shown, creates the file named by its argument.
#include <QApplication>
#include <QFile>
#include <QTimer>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.resize(720, 420);
    window.show();
    const QString marker = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    QTimer::singleShot(0, &window, [marker] {
        QFile f(marker);
        if (!marker.isEmpty() && f.open(QIODevice::WriteOnly)) f.write("shown\n");
    });
    return app.exec();
}
