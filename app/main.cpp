#include <unistd.h>

#include <cstdio>
#include <string>

#include <QApplication>
#include <QFile>
#include <QFileInfo>

#include "app/paths.h"
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

  // config.ini and the other files the game writes are named relative to the directory
  // that keeps them; the executable's path is resolved, so a link to it changes nothing.
  const std::string exeDir = QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString();
  std::string dataDir = bg::UserDataDir(exeDir);
  if (dataDir.empty()) {
    std::fprintf(stderr, "Blastgrid: no directory to keep config.ini in; settings will not be saved\n");
    dataDir = exeDir;
  }
  if (::chdir(dataDir.c_str()) != 0) std::perror("Blastgrid: cannot enter the settings directory");
  const std::string resDir = bg::ResourceDir(exeDir);

  bg::QtGui gui;
  bg::SdlAudio audio;
  bg::SetGui(&gui);
  bg::SetAudio(&audio);
  const int status = bg::StartUp(resDir.empty() ? exeDir + "/res" : resDir);
  bg::SetAudio(nullptr);  // back to the silent device before the mixer closes
  return status;
}
