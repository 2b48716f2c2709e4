#include "app/state_icon.h"

#include <QColor>
#include <QFont>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <array>

#include "ledger/bill_state_text.h"

namespace fahuo {
namespace {

enum class Sign { kNone, kCheck, kArrow, kClock, kCross, kBar, kPause, kQuestion };

Sign SignOf(std::optional<BillState> state) {
  if (!state) return Sign::kNone;
  switch (*state) {
    case BillState::kBaseline:
    case BillState::kNotPaid:
    case BillState::kOutgoing:
      return Sign::kNone;  // most bills: a mark on each would only be noise
    case BillState::kSent:
    case BillState::kHandled:
      return Sign::kCheck;
    case BillState::kPending:
    case BillState::kSending:
      return Sign::kArrow;
    case BillState::kRetrying:
    case BillState::kAwaiting:
      return Sign::kClock;
    case BillState::kFailed:
    case BillState::kBounced:
      return Sign::kCross;
    case BillState::kSkipped:
      return Sign::kBar;
    case BillState::kHeld:
    case BillState::kUnconfirmed:
    case BillState::kOutOfStock:  // waits for codes, in red
      return Sign::kPause;
    case BillState::kUnknown:
      return Sign::kQuestion;
  }
  return Sign::kNone;
}

// Painted at whatever size the view asks, so the mark stays sharp on any screen.
class StateIconEngine : public QIconEngine {
 public:
  StateIconEngine(Sign sign, QColor colour) : sign_(sign), colour_(colour) {}

  QIconEngine* clone() const override { return new StateIconEngine(sign_, colour_); }

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
    if (sign_ == Sign::kNone) return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    // Drawn on a 16-unit square centred in `rect`.
    const qreal side = std::min(rect.width(), rect.height());
    painter->translate(rect.x() + (rect.width() - side) / 2, rect.y() + (rect.height() - side) / 2);
    painter->scale(side / 16.0, side / 16.0);
    painter->setPen(Qt::NoPen);
    painter->setBrush(colour_);
    painter->drawEllipse(QRectF(1, 1, 14, 14));
    QPen pen(Qt::white, 1.9, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    QPainterPath path;
    switch (sign_) {
      case Sign::kCheck:
        path.moveTo(4.6, 8.3);
        path.lineTo(7.0, 10.7);
        path.lineTo(11.4, 5.6);
        break;
      case Sign::kArrow:
        path.moveTo(4.5, 8);
        path.lineTo(11, 8);
        path.moveTo(8.3, 5.3);
        path.lineTo(11, 8);
        path.lineTo(8.3, 10.7);
        break;
      case Sign::kClock:
        path.moveTo(8, 4.3);
        path.lineTo(8, 8);
        path.lineTo(10.8, 9.6);
        break;
      case Sign::kCross:
        path.moveTo(5.4, 5.4);
        path.lineTo(10.6, 10.6);
        path.moveTo(10.6, 5.4);
        path.lineTo(5.4, 10.6);
        break;
      case Sign::kBar:
        path.moveTo(4.8, 8);
        path.lineTo(11.2, 8);
        break;
      case Sign::kPause:
        path.moveTo(6.4, 5.2);
        path.lineTo(6.4, 10.8);
        path.moveTo(9.6, 5.2);
        path.lineTo(9.6, 10.8);
        break;
      case Sign::kQuestion: {
        QFont font = painter->font();
        font.setBold(true);
        font.setPixelSize(11);
        painter->setFont(font);
        painter->drawText(QRectF(1, 1, 14, 14), Qt::AlignCenter, QStringLiteral("?"));
        break;
      }
      case Sign::kNone:
        break;
    }
    painter->drawPath(path);
    painter->restore();
  }

 private:
  Sign sign_;
  QColor colour_;
};

QIcon MakeIcon(std::optional<BillState> state) {
  return QIcon(
      new StateIconEngine(SignOf(state), QColor::fromRgb(state ? StateColour(*state) : 0)));
}

}  // namespace

QIcon StateIcon(std::optional<BillState> state) {
  // One icon per state, made once: the list asks for one per painted row.
  constexpr int kStates = static_cast<int>(BillState::kBounced) + 1;
  static const std::array<QIcon, kStates + 1> icons = [] {
    std::array<QIcon, kStates + 1> made;
    made[0] = MakeIcon(std::nullopt);
    for (int s = 0; s < kStates; ++s) made[s + 1] = MakeIcon(static_cast<BillState>(s));
    return made;
  }();
  const size_t slot = state ? static_cast<size_t>(*state) + 1 : 0;
  return slot < icons.size() ? icons[slot] : icons[0];
}

}  // namespace fahuo
