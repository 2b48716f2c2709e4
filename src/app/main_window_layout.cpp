// The main window's controls: where each stands, its caption and name, and how they move
// when the window grows.
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableView>
#include <QTextCursor>
#include <QTimer>
#include <QWebEngineView>

#include "app/bill_list_model.h"
#include "app/core/activity_log.h"
#include "app/mail_presets_menu.h"
#include "app/main_window.h"
#include "app/tray.h"
#include "delivery/shop.h"
#include "ui/qt_text.h"
#include "ui/ui_thread.h"
#include "ui/widgets.h"

namespace fahuo {
namespace {

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption, QRect geometry) {
  auto* label = Named(new QLabel(QString::fromUtf8(caption), parent), name);
  label->setGeometry(geometry);
  return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, QRect geometry) {
  auto* button = Named(new QPushButton(QString::fromUtf8(caption), parent), name);
  button->setGeometry(geometry);
  return button;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, const QString& text, QRect geometry) {
  auto* edit = Named(new QLineEdit(text, parent), name);
  edit->setGeometry(geometry);
  return edit;
}

const char kNotice[] =
    "使用方法：先在左侧网页登录收款账户；再点击“发货内容设置”按金额设置发货邮件，"
    "填写发信服务器、发信邮箱和邮箱密码并测试；最后点击“开始”。"
    "买家付款时在付款说明里留下邮箱或QQ号码，软件即自动发货。";

}  // namespace

void MainWindow::BuildControls() {
  QWidget* c = canvas_;
  超文本浏览框1 = Named(new QWebEngineView(c), "超文本浏览框1");

  bill_model_ = new BillListModel(shop_.ledger(), this);
  bill_model_->Show(&shop_.AllBills());
  超级列表框1 = Named(CreateBillListView(c, bill_model_), "超级列表框1");
  超级列表框1->hide();

  标签_进度 = Named(new QLabel(c), "标签_进度");
  标签_进度->setStyleSheet(QStringLiteral("color: rgb(128,128,128);"));

  分组框1 = Named(new QGroupBox(c), "分组框1");
  BuildPanel();
  按钮_发货记录 = MakeButton(c, "按钮_发货记录", "发货记录", {});
  按钮_发货记录->setToolTip(QStringLiteral("查看每一笔账单的发货情况，重新发送或导出"));
  按钮_提醒设置 = MakeButton(c, "按钮_提醒设置", "提醒设置", {});
  按钮_提醒设置->setToolTip(
      QStringLiteral("登录失效、邮箱拒绝发信、账单需要处理时，发邮件或推送到手机提醒您"));
  按钮_库存管理 = MakeButton(c, "按钮_库存管理", "库存管理", {});
  按钮_库存管理->setToolTip(QStringLiteral("卡密库存：添加卡密，查看剩余，按卡密查找买家"));
  按钮_统计 = MakeButton(c, "按钮_统计", "统计", {});
  按钮_统计->setToolTip(QStringLiteral("收款笔数、金额、发货和需要处理的账单，按时间和商品统计"));
  Arrange(kDefaultSize);

  status_timer_ = new QTimer(this);
  时钟_刷新 = Named(new QTimer(this), "时钟_刷新");
  时钟_记时 = Named(new QTimer(this), "时钟_记时");
  时钟_防止掉线 = Named(new QTimer(this), "时钟_防止掉线");

  托盘菜单 = Named(new QMenu(this), "托盘菜单");
  托盘菜单->addAction(QStringLiteral("打开"));
  托盘菜单->addAction(QStringLiteral("关闭"));
}

void MainWindow::BuildPanel() {
  QWidget* g = 分组框1;
  单选框_全部账单 = Named(new QRadioButton(QStringLiteral("全部账单"), g), "单选框_全部账单");
  单选框_全部账单->setGeometry(10, 15, 72, 20);
  单选框_全部账单->setChecked(true);
  单选框_新增账单 = Named(new QRadioButton(QStringLiteral("新增账单"), g), "单选框_新增账单");
  单选框_新增账单->setGeometry(90, 15, 72, 20);

  标签1 = MakeLabel(g, "标签1", "刷新间隔", {10, 50, 56, 16});
  编辑框_间隔时间 = MakeEdit(g, "编辑框_间隔时间", QStringLiteral("6000"), {65, 50, 80, 20});
  按钮1 = MakeButton(g, "按钮1", "开始", {150, 50, 56, 20});
  标签2 = MakeLabel(g, "标签2", "发信服务器", {10, 81, 60, 20});
  编辑框_邮箱服务器地址 =
      MakeEdit(g, "编辑框_邮箱服务器地址", QStringLiteral("smtp.qq.com"), {80, 80, 130, 20});
  AttachMailPresets(编辑框_邮箱服务器地址);
  标签3 = MakeLabel(g, "标签3", "发信邮箱", {10, 108, 60, 20});
  编辑框_邮箱用户名 = MakeEdit(g, "编辑框_邮箱用户名", {}, {80, 108, 130, 20});
  标签4 = MakeLabel(g, "标签4", "邮箱密码", {10, 136, 60, 20});
  编辑框_邮箱密码 = MakeEdit(g, "编辑框_邮箱密码", {}, {80, 136, 130, 20});
  编辑框_邮箱密码->setEchoMode(QLineEdit::Password);
  编辑框_邮箱密码->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));

  按钮_连接 = MakeButton(g, "按钮_连接", "邮件连接测试", {12, 165, 96, 30});
  按钮_发送 = MakeButton(g, "按钮_发送", "邮件发送测试", {115, 165, 96, 30});
  按钮_设置 = MakeButton(g, "按钮_设置", "发货内容设置", {12, 205, 96, 30});
  按钮2 = MakeButton(g, "按钮2", "发信设置技巧", {115, 205, 96, 30});

  分组框3 = Named(new QGroupBox(QStringLiteral("友情提示"), g), "分组框3");
  分组框3->setGeometry(10, 243, 200, 170);
  编辑框1 = Named(new QPlainTextEdit(QString::fromUtf8(kNotice), g), "编辑框1");
  编辑框1->setGeometry(14, 261, 192, 150);
  编辑框1->setReadOnly(true);
  编辑框1->setFrameShape(QFrame::NoFrame);
  编辑框1->setStyleSheet(QStringLiteral("background-color: rgb(240,240,240);"));

  分组框2 = Named(new QGroupBox(QStringLiteral("发货提示"), g), "分组框2");
  分组框2->setGeometry(10, 420, 200, 140);
  编辑框_本地IP = Named(new QPlainTextEdit(g), "编辑框_本地IP");
  编辑框_本地IP->setGeometry(15, 437, 190, 115);
  编辑框_本地IP->setReadOnly(true);
  编辑框_本地IP->setFrameShape(QFrame::NoFrame);
  编辑框_本地IP->setStyleSheet(
      QStringLiteral("color: rgb(128,128,128); background-color: rgb(236,236,236);"));
  // Stacking: the two text boxes sit over their group boxes.
  编辑框1->raise();
  编辑框_本地IP->raise();

  标签_本地数据库 = MakeLabel(g, "标签_本地数据库", "数据库:未连接", {10, 564, 80, 20});
  标签_时间 = MakeLabel(g, "标签_时间", "已经运行:00:00:00", {97, 564, 120, 20});
}

void MainWindow::Arrange(QSize size) {
  const int dw = std::max(0, size.width() - kDefaultSize.width());
  const int dh = std::max(0, size.height() - kDefaultSize.height());
  超文本浏览框1->setGeometry(8, 8, 770 + dw, 584 + dh);
  超级列表框1->setGeometry(8, 8, 750 + dw, 584 + dh);
  标签_进度->setGeometry(8, 596 + dh, 546 + dw, 20);  // 统计 and 库存管理 stand at its right
  // The panel keeps its width; a taller window gives the delivery log the extra height.
  分组框1->setGeometry(788 + dw, 4, 220, 588 + dh);
  分组框2->setGeometry(10, 420, 200, 140 + dh);
  编辑框_本地IP->setGeometry(15, 437, 190, 115 + dh);
  标签_本地数据库->setGeometry(10, 564 + dh, 80, 20);
  标签_时间->setGeometry(97, 564 + dh, 120, 20);
  按钮_发货记录->setGeometry(800 + dw, 598 + dh, 96, 30);
  按钮_提醒设置->setGeometry(904 + dw, 598 + dh, 96, 30);
  按钮_库存管理->setGeometry(662 + dw, 596 + dh, 96, 30);
  按钮_统计->setGeometry(558 + dw, 596 + dh, 96, 30);
}

}  // namespace fahuo
