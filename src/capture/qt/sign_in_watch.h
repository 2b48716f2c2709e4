#pragma once
// Notices the end of the sign-in in the embedded browser by its page title, puts the bill
// list in the browser's place and, the first time, reads the records pages on a thread of
// its own. When the sign-in lapses, the browser comes back with the sign-in page.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "capture/navigation.h"

class QWebEngineView;

namespace fahuo {

class Worker;

class SignInWatch : public QObject {
  Q_OBJECT
 public:
  SignInWatch(QWebEngineView* 超文本浏览框1, QWidget* 超级列表框1, QObject* parent = nullptr);
  ~SignInWatch() override;

  // Whether `title` is the sign-in centre's title, compared as GBK bytes: the separator is
  // the full-width hyphen-minus, so a title with an ASCII hyphen is not it.
  static bool IsSignInTitle(const QString& title);

  // Reads the records pages once, on the watch's own thread; set before the sign-in.
  std::function<void(RecordPagesSink&)> load_pages;

  // The sign-in lapsed: hide the bill list and show the browser at `address`.
  void ShowSignIn(const QString& address);

  // Waits for the page loading, if it runs. For the end of the program.
  void Stop();

 signals:
  // While the pages load, on the UI thread: pages read and bills found so far.
  void progress(int pages, qulonglong bills);
  // Once the loading has ended, on the UI thread: draw the bill list, arm the keep-alive.
  void pagesLoaded();

 private:
  // On every title change: on the sign-in title, blank and hide the browser and show the
  // bill list; the first time, start the page loading.
  void WatchSignIn();

  QPointer<QWebEngineView> browser_;
  QPointer<QWidget> bill_list_;
  bool loading_started_ = false;
  std::unique_ptr<Worker> loader_;
};

}  // namespace fahuo
