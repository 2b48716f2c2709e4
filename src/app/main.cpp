// fahuo: watches the seller's transaction records and mails the goods for each payment.
#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

#include "app/app_services.h"
#include "app/app_setup.h"
#include "app/core/activity_log.h"
#include "app/core/password_store.h"
#include "app/main_window.h"
#include "app/single_instance.h"
#include "capture/records_address.h"
#include "delivery/shop.h"
#include "fahuo_version.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/gbk.h"
#include "platform/log_files.h"
#include "platform/process.h"
#include "platform/program_folder.h"
#include "platform/record_table.h"
#include "ui/dialogs.h"
#include "ui/translation.h"

namespace {

// Set before QApplication exists: --help and --version are answered from them first.
struct CommandLine {
  QCommandLineParser parser;
  QCommandLineOption help{QStringLiteral("help")};
  QCommandLineOption version{QStringLiteral("version")};
  QCommandLineOption data_dir{QStringLiteral("data-dir"),
                              QStringLiteral("Folder for the tables and settings (default: "
                                             "$XDG_DATA_HOME/fahuo or ~/.local/share/fahuo; "
                                             "beside the program when a file named "
                                             "'portable' stands there)."),
                              QStringLiteral("DIR")};
  QCommandLineOption records_base{
      QStringLiteral("records-base"),
      QStringLiteral("Scheme, host and port of the records service (tests and the demo)."),
      QStringLiteral("URL")};

  CommandLine() {
    parser.setApplicationDescription(QStringLiteral(
        "fahuo: answers every paid order by mail. Sign in inside the window, set the delivery "
        "rules and the sending mailbox, then press 开始."));
    help = parser.addHelpOption();
    version = parser.addVersionOption();
    parser.addOption(data_dir);
    parser.addOption(records_base);
  }

  // --help and --version are answered before the GUI application exists, so they work
  // without a display; the process ends here then. Anything else (Qt's own options
  // included) is parsed again once the application exists.
  void AnswerInfoOptions(int argc, char** argv) {
    QStringList raw_args;
    for (int i = 0; i < argc; ++i) raw_args << QString::fromLocal8Bit(argv[i]);
    if (!parser.parse(raw_args) || !(parser.isSet(help) || parser.isSet(version))) return;
    QCoreApplication core(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("fahuo"));
    QCoreApplication::setApplicationVersion(QStringLiteral(FAHUO_VERSION));
    if (parser.isSet(help)) parser.showHelp(0);
    std::printf("fahuo %s\n%s", FAHUO_VERSION, FAHUO_LICENCE_NOTICE);
    std::exit(0);
  }
};

// The data folder for this run. A brand-new one is a first start, not a damaged install:
// it gets its empty bill table (unless one was carried over) instead of an error box.
fahuo::DataFolderChoice PrepareDataFolder(const QString& asked) {
  const fahuo::DataFolderChoice choice =
      fahuo::ChooseDataFolder({QCoreApplication::applicationDirPath().toStdString(),
                               asked.toStdString(), fahuo::UserDataFolder()});
  const std::string bill_table = fahuo::DataFolder(choice.folder).File("zhifubaoZD.edb");
  if (choice.created && !fahuo::PathExists(bill_table)) {
    fahuo::RecordTable::CreateEmpty(bill_table, fahuo::BillTableFields());
  }
  return choice;
}

// Another copy owns the data folder: it is asked to show its window, and this one ends.
void HandOverToRunningCopy(fahuo::SingleInstance& instance, const QString& data_folder) {
  const bool shown = instance.AskRunningCopyToShow();
  std::fprintf(stderr, "%s\n",
               (shown ? QStringLiteral("fahuo 已在运行（数据文件夹 %1），已切换到正在运行的窗口。")
                      : QStringLiteral("fahuo 已在运行（数据文件夹 %1）。"))
                   .arg(data_folder)
                   .toLocal8Bit()
                   .constData());
}

// The window over the shop, from its start-up to the end of the event loop; returns the
// loop's exit code once everything the window ran has stopped.
int RunWindow(QApplication& app, const fahuo::DataFolderChoice& choice,
              const fahuo::ShopOptions& shop_options, fahuo::SingleInstance& instance) {
  const fahuo::SystemClock clock;
  const fahuo::DataFolder folder(choice.folder);
  // The log is kept in daily files beside the data; the box shows only this run's part.
  fahuo::LogFiles log_files(folder.File("logs"), clock);
  // A line that marks each start in the file only; the box keeps its own texts.
  const std::string log_note =
      log_files.Write(fahuo::Utf8ToGbk("fahuo " FAHUO_VERSION " 已启动") + "\r\n");
  fahuo::ActivityLog log;
  log.SetFileSink([&log_files](const std::string& entry) { return log_files.Write(entry); });
  fahuo::QtDialogs dialogs;
  const fahuo::AppServices services{.dialogs = dialogs, .log = log, .data_folder = folder};

  fahuo::Shop shop(&clock, shop_options);
  // The mailbox password goes to the desktop's keyring where one answers.
  fahuo::KeyringPasswordStore passwords;
  fahuo::MainWindow window(shop, services);
  window.UsePasswordStore(passwords);
  // After the window exists: only entries appended from then on reach its log box.
  if (!choice.copied.empty()) log.Append(fahuo::CopyOverLogEntry(choice));
  if (!log_note.empty()) log.Append(log_note);
  instance.Listen([&window] {
    window.showNormal();
    window.raise();
    window.activateWindow();
  });
  window.show();
  window.StartUp();
  const int code = app.exec();
  // Reading, mailing, the keep-alive and the page loading end (their exchanges cut) before
  // anything they use goes away; the window goes first, so nothing stays drawn frozen.
  window.hide();
  window.Shutdown();
  log.SetFileSink(nullptr);  // log_files goes with this scope
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  if (fahuo::RunsAsAdministrator() && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  }
  CommandLine command_line;
  command_line.AnswerInfoOptions(argc, argv);

  QApplication app(argc, argv);
  fahuo::ConfigureApplication();
  fahuo::LoadQtChinese(app);
  command_line.parser.process(app);

  const fahuo::DataFolderChoice choice =
      PrepareDataFolder(command_line.parser.value(command_line.data_dir));
  // Decided once, before any thread starts; the shop hands them to whoever reads.
  fahuo::ShopOptions shop_options;
  if (command_line.parser.isSet(command_line.records_base))
    shop_options.records_base = command_line.parser.value(command_line.records_base).toStdString();

  const QString data_folder = QString::fromStdString(choice.folder);
  fahuo::SingleInstance instance(data_folder);
  if (!instance.Acquire()) {
    HandOverToRunningCopy(instance, data_folder);
    return 0;
  }
  const int code = RunWindow(app, choice, shop_options, instance);
  std::fflush(nullptr);
  // Qt WebEngine's own threads are not ours to join; end without running its teardown.
  fahuo::EndProcessNow(code);
}
