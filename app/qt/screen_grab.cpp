// wardenix-screengrab OUTPUT.png [X Y WIDTH HEIGHT]: writes the X display's
// screen, or a part of it, as a PNG (used by scripts/screenshots.sh).
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 2 && argc != 6) {
    std::fputs("usage: wardenix-screengrab OUTPUT.png [X Y WIDTH HEIGHT]\n", stderr);
    return 2;
  }
  QGuiApplication app(argc, argv);
  QScreen* screen = QGuiApplication::primaryScreen();
  QPixmap shot = argc == 6 ? screen->grabWindow(0, std::atoi(argv[2]), std::atoi(argv[3]),
                                                std::atoi(argv[4]), std::atoi(argv[5]))
                           : screen->grabWindow(0);
  return shot.save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
