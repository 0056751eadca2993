#include <unistd.h>

#include <cstdio>

#include <QApplication>
#include <QFile>
#include <QFileInfo>

#include "app/record_windows.h"
#include "app/startup.h"
#include "platform/backends/qt_gui.h"
#include "platform/backends/sdl_audio.h"
#include "platform/gui.h"
#include "platform/sound.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Blastgrid"));

  // A replay file to watch, named relative to where the program was started.
  const QStringList args = QCoreApplication::arguments();
  if (args.size() > 1) bg::OpenReplayAtStart(QFile::encodeName(QFileInfo(args.at(1)).absoluteFilePath()).toStdString());

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
