#include <unistd.h>

#include <cstdio>

#include <QApplication>
#include <QFile>

#include "app/startup.h"
#include "platform/backends/qt_gui.h"
#include "platform/backends/sdl_audio.h"
#include "platform/gui.h"
#include "platform/sound.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Blastgrid"));

  // config.ini and res/ live beside the executable, wherever it is started from.
  const QByteArray dir = QFile::encodeName(QCoreApplication::applicationDirPath());
  if (::chdir(dir.constData()) != 0) std::perror("Blastgrid: cannot enter the program's directory");

  bg::QtGui gui;
  bg::SdlAudio audio;
  bg::SetGui(&gui);
  bg::SetAudio(&audio);
  const int status = bg::StartUp();
  bg::SetAudio(nullptr);  // back to the silent device before the mixer closes
  return status;
}
