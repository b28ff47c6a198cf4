// salvex: the desktop wizard. Raw disk images named on the command line are listed with the
// drives.
#include "app/main_window.h"
#include "session/session.h"

#include <QApplication>
#include <QStringList>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    salvex::Session session;
    session.list_drives();
    salvex::app::MainWindow window(session);
    window.show();
    // Images that cannot be opened are reported over the window.
    QStringList images = QApplication::arguments();
    images.removeFirst();
    window.add_images(images);
    return QApplication::exec();
}
