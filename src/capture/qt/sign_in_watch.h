#pragma once
// Notices the end of the sign-in in the embedded browser by its page title, puts the bill
// list in the browser's place and reads the records pages on a thread of their own.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

class QWebEngineView;

namespace fahuo {

class SignInWatch : public QObject {
  Q_OBJECT
 public:
  SignInWatch(QWebEngineView* 超文本浏览框1, QWidget* 超级列表框1, QObject* parent = nullptr);

  // Whether `title` is the sign-in centre's title, compared as GBK bytes: the separator is
  // the full-width hyphen-minus, so a title with an ASCII hyphen is not it.
  static bool IsSignInTitle(const QString& title);

 signals:
  // While the pages load, on the UI thread: pages read and bills found so far.
  void progress(int pages, qulonglong bills);
  // Once the loading has ended, on the UI thread: draw the bill list, arm the keep-alive.
  void pagesLoaded();

 private:
  // On every title change: on the sign-in title, blank and hide the browser, show the bill
  // list and start the page loading (which runs at most once per program run).
  void WatchSignIn();

  QPointer<QWebEngineView> browser_;
  QPointer<QWidget> bill_list_;
};

}  // namespace fahuo
