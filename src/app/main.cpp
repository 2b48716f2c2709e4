// fahuo: watches the seller's transaction records and mails the goods for each payment.
#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

#include "app/app_setup.h"
#include "app/main_window.h"
#include "capture/records_address.h"
#include "fahuo_version.h"
#include "platform/program_folder.h"
#include "platform/record_table.h"

int main(int argc, char** argv) {
  if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "fahuo: answers every paid order by mail. Sign in inside the window, set the delivery "
      "rules and the sending mailbox, then press 开始."));
  const QCommandLineOption help = parser.addHelpOption();
  const QCommandLineOption version = parser.addVersionOption();
  QCommandLineOption data_dir(QStringLiteral("data-dir"),
                              QStringLiteral("Folder for the tables and settings (default: "
                                             "beside the program when writable, else "
                                             "~/.local/share/fahuo)."),
                              QStringLiteral("DIR"));
  QCommandLineOption records_base(
      QStringLiteral("records-base"),
      QStringLiteral("Scheme, host and port of the records service (tests and the demo)."),
      QStringLiteral("URL"));
  parser.addOption(data_dir);
  parser.addOption(records_base);

  // --help and --version are answered before the GUI application exists, so they work
  // without a display. Anything else (Qt's own options included) is parsed again below.
  QStringList raw_args;
  for (int i = 0; i < argc; ++i) raw_args << QString::fromLocal8Bit(argv[i]);
  if (parser.parse(raw_args) && (parser.isSet(help) || parser.isSet(version))) {
    QCoreApplication core(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("fahuo"));
    QCoreApplication::setApplicationVersion(QStringLiteral(FAHUO_VERSION));
    if (parser.isSet(help)) parser.showHelp(0);
    parser.showVersion();
  }

  QApplication app(argc, argv);
  fahuo::ConfigureApplication();
  parser.process(app);

  bool fresh_folder = false;
  fahuo::SetProgramFolder(
      fahuo::ChooseProgramFolder(QCoreApplication::applicationDirPath().toStdString(),
                                 parser.value(data_dir).toStdString(), &fresh_folder));
  // A brand-new data folder is a first start, not a damaged install: give it its empty
  // bill table instead of an error box.
  if (fresh_folder) {
    fahuo::RecordTable::CreateEmpty(fahuo::ProgramFile("zhifubaoZD.edb"), fahuo::BillTableFields());
  }
  if (parser.isSet(records_base)) fahuo::SetRecordsBase(parser.value(records_base).toStdString());

  fahuo::MainWindow window;
  window.show();
  window.StartUp();
  int code = app.exec();
  // Worker threads are never joined; end the process without running destructors under
  // their feet.
  std::fflush(nullptr);
  _exit(code);
}
